// The launcher's command line: arguments, switches and their values.
#pragma once

#include <string>
#include <vector>

// The characters that start a switch. On Linux an absolute path starts with '/', so there only
// '-' does: "-config /home/me/site.ini" must pass the path as the value.
#ifdef _WIN32
constexpr const char* kSwitchCharacters = "-/";
#else
constexpr const char* kSwitchCharacters = "-";
#endif

// The process's command line cut into arguments. Argument 0 is the program itself.
class CommandLineArgs {
public:
    static constexpr int kMaxArguments = 100;

    // The process's own command line: GetCommandLineA on Windows; on Linux the same kind of
    // text built from argv (CommandLineFromArgs), so that both split alike. An argument is a
    // switch when its first character is one of `switchChars`.
    explicit CommandLineArgs(const std::string& switchChars = kSwitchCharacters);
    CommandLineArgs(const std::string& switchChars, const std::string& commandLine);

    int Count() const { return static_cast<int>(args_.size()); }
    const std::string& Arg(int index) const { return args_.at(static_cast<size_t>(index)); }

    // The index (1 or more) of the first argument that is the switch `name` (any letter case; a
    // leading switch character of `name` is ignored), or 0. A '*' in `name` asks for arguments
    // that begin with it; so does, from that argument on, a switch that holds a ':'
    // (-urlparamx:1 is found as "urlparam").
    int FindSwitch(const std::string& name) const;

    // The value of a switch: what follows the first ':' of its argument (-config:D:\site.ini),
    // else the next argument when that is no switch (/config D:\site.ini), else `defaultValue`.
    std::string GetSwitchValue(const std::string& name, const std::string& defaultValue) const;

private:
    bool IsSwitch(const std::string& arg) const;

    std::string switchChars_;
    std::vector<std::string> args_;
};

// Cuts a command line into at most CommandLineArgs::kMaxArguments arguments. Only blanks
// separate them; an argument that starts with '"' runs to the next '"' (the quotes are no part
// of it) and may hold blanks.
std::vector<std::string> SplitCommandLine(const std::string& text);

// The command-line text for these arguments: joined by blanks, each argument that is empty or
// holds a blank put in double quotes.
std::string CommandLineFromArgs(const std::vector<std::string>& args);

// The text of the process's command line (see CommandLineArgs).
std::string ProcessCommandLine();
