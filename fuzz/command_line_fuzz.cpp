// The launcher's command line: the first line of the input is the command line, each further
// line a switch name to look for (with the Linux and the Windows switch characters).
#include <cstdint>
#include <string>
#include <vector>

#include "config/command_line.h"
#include "fuzz_support.h"

using fuzzsupport::SwapCase;

namespace {

bool StartsWithOneOf(const std::string& text, const std::string& characters) {
    return !text.empty() && characters.find(text[0]) != std::string::npos;
}

void CheckSwitches(const std::string& switchChars, const std::string& line,
                   const std::vector<std::string>& args, const std::vector<std::string>& names) {
    const CommandLineArgs cl(switchChars, line);
    FUZZ_CHECK(cl.Count() == static_cast<int>(args.size()), line);
    for (int i = 0; i < cl.Count(); ++i) {
        FUZZ_CHECK(cl.Arg(i) == args[static_cast<size_t>(i)], line);
    }
    for (const std::string& name : names) {
        const std::string detail = switchChars + " " + name + " in " + line;
        const int index = cl.FindSwitch(name);
        // 0, or an argument after the program that starts with a switch character.
        FUZZ_CHECK(index == 0 || (index >= 1 && index < cl.Count() &&
                                  StartsWithOneOf(cl.Arg(index), switchChars)),
                   detail);
        // Any letter case finds the same switch; so does the name with a switch character (long
        // names are cut before that character is dropped, so only short ones).
        FUZZ_CHECK(cl.FindSwitch(SwapCase(name)) == index, detail);
        if (!name.empty() && !StartsWithOneOf(name, switchChars) && name.size() < 200) {
            FUZZ_CHECK(cl.FindSwitch(switchChars.substr(0, 1) + name) == index, detail);
        }

        const std::string value = cl.GetSwitchValue(name, "\x01none");
        if (index == 0) {
            FUZZ_CHECK(value == "\x01none", detail);
            continue;
        }
        const std::string& arg = cl.Arg(index);
        const size_t colon = arg.find(':');
        if (colon != std::string::npos) {
            FUZZ_CHECK(value == arg.substr(colon + 1), detail);
        } else if (index + 1 < cl.Count() && !StartsWithOneOf(cl.Arg(index + 1), switchChars)) {
            FUZZ_CHECK(value == cl.Arg(index + 1), detail);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The command line and up to eight names.
    const std::vector<std::string> lines = fuzzsupport::Lines(fuzzsupport::Text(data, size), 9);
    const std::string& line = lines[0];
    const std::vector<std::string> names(lines.begin() + 1, lines.end());

    const std::vector<std::string> args = SplitCommandLine(line);
    FUZZ_CHECK(args.size() <= static_cast<size_t>(CommandLineArgs::kMaxArguments), line);
    for (const std::string& arg : args) {
        // Only quotes hold blanks together, and quotes are no part of what they hold.
        FUZZ_CHECK(arg.find(' ') == std::string::npos || arg.find('"') == std::string::npos, line);
    }

    // Arguments without quotes come back unchanged from the text made of them: the Linux
    // launcher rebuilds its command line that way.
    std::vector<std::string> plain;
    for (const std::string& arg : args) {
        if (arg.find('"') == std::string::npos) {
            plain.push_back(arg);
        }
    }
    FUZZ_CHECK(SplitCommandLine(CommandLineFromArgs(plain)) == plain, line);

    CheckSwitches("-", line, args, names);
    CheckSwitches("-/", line, args, names);
    return 0;
}
