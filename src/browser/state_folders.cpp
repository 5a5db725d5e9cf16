#include "browser/state_folders.h"

#include <algorithm>

#include "stack/run_journal.h"
#include "sys/files.h"
#include "sys/folders.h"

namespace Browser {

namespace {

const char kWhole[] = "whole";
const char kIfEmpty[] = "empty";

// The folders of `part`, one after the other.
std::vector<std::string> PartsOf(const std::string& part) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (start <= part.size()) {
        const std::string::size_type end = part.find('/', start);
        const std::string piece =
            part.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!piece.empty()) {
            parts.push_back(piece);
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return parts;
}

std::string Joined(const std::string& folder, const std::string& name) {
    return WithTrailingSeparator(folder) + name;
}

// The base's folders from the deepest one that exists down to the base, missing ones only.
std::vector<std::string> MissingOfBase(const std::string& base) {
    std::vector<std::string> missing;
    std::string folder = WithoutTrailingSeparators(base);
    while (!folder.empty() && !PathExists(folder)) {
        missing.push_back(folder);
        const std::string::size_type at = folder.find_last_of("/\\");
        if (at == std::string::npos || at == 0) {
            break;
        }
        folder = folder.substr(0, at);
    }
    std::reverse(missing.begin(), missing.end());
    return missing;
}

}  // namespace

std::vector<MadeFolder> MissingFolders(const std::vector<StateFolder>& candidates) {
    std::vector<MadeFolder> found;
    const auto add = [&found](const std::string& path, bool whole) {
        const bool known = std::any_of(found.begin(), found.end(),
                                       [&path](const MadeFolder& f) { return f.path == path; });
        if (!known) {
            found.push_back({path, whole});
        }
    };
    for (const StateFolder& candidate : candidates) {
        if (candidate.base.empty()) {
            continue;
        }
        for (const std::string& folder : MissingOfBase(candidate.base)) {
            add(folder, false);
        }
        std::string folder = WithoutTrailingSeparators(candidate.base);
        for (const std::string& piece : PartsOf(candidate.part)) {
            folder = Joined(folder, piece);
            if (!PathExists(folder)) {
                add(folder, !candidate.onlyIfEmpty);
                break;
            }
        }
    }
    return found;
}

std::vector<MadeFolder> RecordMissingFolders(const std::string& runtimeFolder,
                                             const std::vector<StateFolder>& candidates) {
    const std::vector<MadeFolder> missing = MissingFolders(candidates);
    for (const MadeFolder& folder : missing) {
        RecordInJournal(runtimeFolder, journal::kMadeFolder,
                        {folder.path, folder.whole ? kWhole : kIfEmpty});
    }
    return missing;
}

bool RemoveMadeFolders(const std::vector<MadeFolder>& folders) {
    bool removed = true;
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
        if (!PathExists(it->path)) {
            continue;
        }
        if (it->whole) {
            DeleteFolderTree(it->path);
            removed = removed && !PathExists(it->path);
        } else {
            // Only while empty: a file the user saved there stays, and so does its folder.
            RemoveEmptyFolder(it->path);
        }
    }
    return removed;
}

bool MadeFolderOf(const JournalEntry& entry, MadeFolder& folder) {
    if (entry.kind != journal::kMadeFolder || entry.fields.size() < 2 || entry.fields[0].empty()) {
        return false;
    }
    folder.path = entry.fields[0];
    folder.whole = entry.fields[1] == kWhole;
    return true;
}

}  // namespace Browser
