#include "stack/run_journal.h"

#include <cstdio>

#include "sys/files.h"
#include "sys/folders.h"

namespace {

const char kJournalName[] = "changes.journal";

void AppendEscaped(std::string& line, const std::string& field) {
    for (char c : field) {
        switch (c) {
            case '\\':
                line += "\\\\";
                break;
            case '\t':
                line += "\\t";
                break;
            case '\r':
                line += "\\r";
                break;
            case '\n':
                line += "\\n";
                break;
            default:
                line += c;
        }
    }
}

}  // namespace

bool IsBrowserEntry(const JournalEntry& entry) {
    return entry.kind == journal::kProxy || entry.kind == journal::kProfileList ||
           entry.kind == journal::kProfiles;
}

std::string JournalPath(const std::string& runtimeFolder) {
    std::string path = runtimeFolder;
    if (!path.empty() && path.back() != kPathSeparator && path.back() != '/') {
        path += kPathSeparator;
    }
    return path + kJournalName;
}

std::string JournalLine(const std::string& kind, const std::vector<std::string>& fields) {
    std::string line;
    AppendEscaped(line, kind);
    for (const std::string& field : fields) {
        line += '\t';
        AppendEscaped(line, field);
    }
    return line + '\n';
}

bool ParseJournalLine(const std::string& line, JournalEntry& entry) {
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') {
            parts.emplace_back();
        } else if (c == '\\') {
            if (++i == line.size()) {
                return false;
            }
            switch (line[i]) {
                case '\\':
                    parts.back() += '\\';
                    break;
                case 't':
                    parts.back() += '\t';
                    break;
                case 'r':
                    parts.back() += '\r';
                    break;
                case 'n':
                    parts.back() += '\n';
                    break;
                default:
                    return false;
            }
        } else if (c == '\n' || c == '\r') {
            return false;
        } else {
            parts.back() += c;
        }
    }
    if (parts[0].empty()) {
        return false;
    }
    entry.kind = std::move(parts[0]);
    entry.fields.assign(std::make_move_iterator(parts.begin() + 1),
                        std::make_move_iterator(parts.end()));
    return true;
}

bool RecordInJournal(const std::string& runtimeFolder, const std::string& kind,
                     const std::vector<std::string>& fields) {
    UniqueFile file = OpenFile(JournalPath(runtimeFolder), "ab");
    if (!file) {
        return false;
    }
    const std::string line = JournalLine(kind, fields);
    return std::fwrite(line.data(), 1, line.size(), file.get()) == line.size() &&
           FlushToDisk(file.get());
}

std::vector<JournalEntry> ReadJournal(const std::string& runtimeFolder) {
    std::vector<JournalEntry> entries;
    UniqueFile file = OpenFile(JournalPath(runtimeFolder), "rb");
    if (!file) {
        return entries;
    }
    std::string line;
    for (int c = std::fgetc(file.get()); c != EOF; c = std::fgetc(file.get())) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        JournalEntry entry;
        if (ParseJournalLine(line, entry)) {
            entries.push_back(std::move(entry));
        }
        line.clear();
    }
    // Whatever follows the last line feed was being written when the run ended.
    return entries;
}

void CloseJournal(const std::string& runtimeFolder) {
    std::remove(JournalPath(runtimeFolder).c_str());
}

bool RewriteJournal(const std::string& runtimeFolder, const std::vector<JournalEntry>& entries) {
    const std::string path = JournalPath(runtimeFolder);
    std::string before;
    {
        UniqueFile file = OpenFile(path, "rb");
        if (!file) {
            return false;
        }
        for (int c = std::fgetc(file.get()); c != EOF; c = std::fgetc(file.get())) {
            before += static_cast<char>(c);
        }
    }
    std::string text;
    for (const JournalEntry& entry : entries) {
        text += JournalLine(entry.kind, entry.fields);
    }
    return ReplaceFileContent(path, text, before);
}
