#include "config/command_line.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "sys/text.h"

namespace {

constexpr size_t kMaxSwitchName = 254;

bool EqualNoCase(const std::string& a, size_t from, const std::string& b, bool prefix) {
    const std::string_view rest = std::string_view(a).substr(from);
    return prefix ? StartsWithNoCase(rest, b) : EqualsNoCase(rest, b);
}

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& text) {
    std::vector<std::string> args;
    size_t pos = 0;
    while (args.size() < static_cast<size_t>(CommandLineArgs::kMaxArguments)) {
        while (pos < text.size() && text[pos] == ' ') {
            ++pos;
        }
        if (pos >= text.size()) {
            break;
        }
        // An argument ends at its closing quote even when more text follows without a blank:
        // "a"b is two arguments.
        const bool quoted = text[pos] == '"';
        if (quoted) {
            ++pos;
        }
        size_t end = text.find(quoted ? '"' : ' ', pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        args.push_back(text.substr(pos, end - pos));
        pos = end < text.size() ? end + 1 : end;
    }
    return args;
}

std::string CommandLineFromArgs(const std::vector<std::string>& args) {
    std::string text;
    for (const std::string& arg : args) {
        if (!text.empty()) {
            text += ' ';
        }
        if (arg.empty() || arg.find(' ') != std::string::npos) {
            text += '"' + arg + '"';
        } else {
            text += arg;
        }
    }
    return text;
}

CommandLineArgs::CommandLineArgs(const std::string& switchChars)
    : CommandLineArgs(switchChars, ProcessCommandLine()) {}

CommandLineArgs::CommandLineArgs(const std::string& switchChars, const std::string& commandLine)
    : switchChars_(switchChars), args_(SplitCommandLine(commandLine)) {}

bool CommandLineArgs::IsSwitch(const std::string& arg) const {
    return !arg.empty() && switchChars_.find(arg[0]) != std::string::npos;
}

int CommandLineArgs::FindSwitch(const std::string& name) const {
    if (name.empty()) {
        return 0;
    }
    std::string wanted = name.substr(0, kMaxSwitchName);
    if (IsSwitch(wanted)) {
        wanted.erase(0, 1);
    }
    bool prefix = false;
    const size_t star = wanted.find('*');
    if (star != std::string::npos) {
        wanted.erase(star, 1);
        prefix = true;
    }
    for (int i = 1; i < Count(); ++i) {
        const std::string& arg = args_[static_cast<size_t>(i)];
        if (!IsSwitch(arg)) {
            continue;
        }
        // Once a switch carries a value after ':', switches are compared by their beginning.
        if (arg.find(':', 1) != std::string::npos) {
            prefix = true;
        }
        if (EqualNoCase(arg, 1, wanted, prefix)) {
            return i;
        }
    }
    return 0;
}

std::string CommandLineArgs::GetSwitchValue(const std::string& name,
                                            const std::string& defaultValue) const {
    const int index = FindSwitch(name);
    if (index == 0) {
        return defaultValue;
    }
    const std::string& arg = args_[static_cast<size_t>(index)];
    const size_t colon = arg.find(':');
    if (colon != std::string::npos) {
        return arg.substr(colon + 1);
    }
    if (index + 1 < Count() && !IsSwitch(args_[static_cast<size_t>(index + 1)])) {
        return args_[static_cast<size_t>(index + 1)];
    }
    return defaultValue;
}
