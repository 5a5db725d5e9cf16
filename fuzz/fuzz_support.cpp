#include "fuzz_support.h"

#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "stack/zip_reader.h"
#include "sys/files.h"
#include "sys/folders.h"

namespace fuzzsupport {

namespace {

void RemoveScratchFolder() {
    DeleteFolderTree(ScratchFolder());
}

void Walk(const std::string& folder, const std::string& prefix, std::vector<std::string>& out) {
    std::vector<FolderEntry> entries;
    if (!ListFolder(folder, entries)) {
        return;
    }
    for (const FolderEntry& entry : entries) {
        if (entry.kind == FolderEntry::Kind::kFolder) {
            out.push_back(prefix + entry.name + "/");
            Walk(folder + "/" + entry.name, prefix + entry.name + "/", out);
        } else {
            out.push_back(prefix + entry.name);
        }
    }
}

}  // namespace

const std::string& ScratchFolder() {
    static const std::string folder = [] {
        std::string pattern = GetTempFolder() + "trailhost-fuzz-XXXXXX";
        if (mkdtemp(&pattern[0]) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        return pattern + "/";
    }();
    static const bool registered = std::atexit(RemoveScratchFolder) == 0;
    static_cast<void>(registered);
    return folder;
}

void Fail(const char* file, int line, const char* rule, std::string_view detail) {
    // The input itself is what libFuzzer keeps; the detail is its start, as it is.
    std::fprintf(stderr, "%s:%d: broken rule: %s\n  %.*s\n", file, line, rule,
                 static_cast<int>(std::min<std::size_t>(detail.size(), 400)), detail.data());
    std::fflush(stderr);
    std::abort();
}

void WriteBytes(const std::string& path, std::string_view bytes) {
    UniqueFile file = OpenFile(path, "wb");
    const bool written =
        file && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    FUZZ_CHECK(written && std::fclose(file.release()) == 0, path);
}

std::string ReadBytes(const std::string& path) {
    UniqueFile file = OpenFile(path, "rb");
    std::string bytes;
    if (!file) {
        return bytes;
    }
    char buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof(buffer), file.get())) > 0) {
        bytes.append(buffer, got);
    }
    return bytes;
}

std::vector<std::string> TreeBelow(const std::string& folder) {
    std::vector<std::string> out;
    Walk(folder, "", out);
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> out;
    for (const std::string& path : TreeBelow(folder)) {
        const size_t slash = path.find('/');
        if (slash == std::string::npos || slash + 1 == path.size()) {
            out.push_back(path);
        }
    }
    return out;
}

std::vector<std::string> Lines(const std::string& text, std::size_t limit) {
    std::vector<std::string> lines;
    for (size_t from = 0; from <= text.size() && lines.size() < limit;) {
        const size_t end = std::min(text.find('\n', from), text.size());
        lines.push_back(text.substr(from, end - from));
        from = end + 1;
    }
    return lines;
}

std::string SwapCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        } else if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

}  // namespace fuzzsupport

namespace fuzzlimits {

void CapFileSize() {
    constexpr rlim_t kMaxFileSize = 256 * 1024;
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    limit.rlim_cur = kMaxFileSize;
    limit.rlim_max = kMaxFileSize;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
        std::perror("setrlimit");
        std::abort();
    }
}

std::set<std::string> PathsOfSafeItems(const ZipReader& zip) {
    std::set<std::string> paths;
    for (int i = 0; i < zip.Count(); ++i) {
        std::string name = zip.Name(i);
        if (!IsSafeItemName(name)) {
            continue;
        }
        for (char& c : name) {
            c = c == '\\' ? '/' : c;
        }
        for (size_t slash = name.find('/'); slash != std::string::npos;
             slash = name.find('/', slash + 1)) {
            paths.insert(name.substr(0, slash + 1));
        }
        paths.insert(name);
    }
    return paths;
}

}  // namespace fuzzlimits
