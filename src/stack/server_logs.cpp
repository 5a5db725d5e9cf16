#include "stack/server_logs.h"

#include <algorithm>
#include <cctype>
#include <deque>
#include <fstream>

#include "stack/templates.h"
#include "sys/files.h"
#include "sys/text.h"

namespace {

std::string Trimmed(const std::string& text) {
    const std::string::size_type begin = text.find_first_not_of(" \t\r\n");
    const std::string::size_type end = text.find_last_not_of(" \t\r\n");
    return begin == std::string::npos ? "" : text.substr(begin, end - begin + 1);
}

std::string Unquoted(std::string value) {
    value = Trimmed(value);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
    }
    return value;
}

}  // namespace

std::string ConfiguredLogFile(const std::string& configFile, const std::string& key) {
    std::ifstream in(configFile);
    std::string line;
    std::string found;
    while (std::getline(in, line)) {
        const std::string text = Trimmed(line);
        if (!StartsWithNoCase(text, key) || text.size() == key.size()) {
            continue;
        }
        const char after = text[key.size()];
        if (after == '=') {
            // The database server's option files escape a backslash with another one.
            found = ReplaceExact(Unquoted(text.substr(key.size() + 1)), "\\\\", "\\");
        } else if (after == ' ' || after == '\t') {
            const std::string rest = Trimmed(text.substr(key.size()));
            found = Unquoted(rest[0] == '=' ? rest.substr(1) : rest);
        }
    }
    return found;
}

std::vector<std::string> LastLines(const std::string& file, std::size_t count) {
    std::ifstream in(file);
    std::deque<std::string> kept;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        kept.push_back(line);
        if (kept.size() > count) {
            kept.pop_front();
        }
    }
    return {kept.begin(), kept.end()};
}

std::string EndedServerMessage(const std::string& what, const std::string& program,
                               std::optional<int> exitStatus, const std::string& logFile,
                               const std::string& runtimeFolder) {
    std::string message = "The " + what + " (" + program + ") ended";
    message += exitStatus ? " with exit status " + std::to_string(*exitStatus) : "";
    message += " while the site was starting.";
    // Only a log of this run's own: another file could be anybody's.
    if (!logFile.empty() && !runtimeFolder.empty() && logFile.size() > runtimeFolder.size() &&
        SamePath(logFile.substr(0, runtimeFolder.size()), runtimeFolder)) {
        const std::vector<std::string> lines = LastLines(logFile, 8);
        if (!lines.empty()) {
            message += "\n\nThe end of " + logFile + ":\n";
            for (const std::string& line : lines) {
                message += line + "\n";
            }
        }
    }
    return message;
}
