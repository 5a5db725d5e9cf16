// The Windows command-line rules that the Linux launcher uses to start programs: the input as a
// command line for SplitWindowsCommandLine and ExecutablePathOf, and its lines as an argument list
// for JoinWindowsCommandLine, whose text must split back into the same list.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "browser/command_lines.h"
#include "fuzz_support.h"
#include "sys/launcher.h"

namespace {

using Args = std::vector<std::string>;

std::string Upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

void CheckSplit(const std::string& line) {
    const Args args = SplitWindowsCommandLine(line);
    bool onlyBlanks = true;
    for (const char c : line) {
        onlyBlanks = onlyBlanks && IsBlank(c);
    }
    FUZZ_CHECK(args.empty() == onlyBlanks, line);
    if (args.empty()) {
        return;
    }
    // In the program name quotes only group, so none is left in it.
    FUZZ_CHECK(args[0].find('"') == std::string::npos, line);
    FUZZ_CHECK(SplitWindowsCommandLine(JoinWindowsCommandLine(args)) == args, line);
}

void CheckExecutablePath(const std::string& line) {
    const std::string path = ExecutablePathOf(line);
    const std::string upperLine = Upper(line);
    const size_t first = upperLine.find(".EXE");
    if (first == std::string::npos) {
        FUZZ_CHECK(path.empty(), line);
        return;
    }
    // The line up to and including its first ".exe", in the line's own letter case.
    FUZZ_CHECK(path.size() == first + 4 && line.compare(0, path.size(), path) == 0, line);

    const std::string name = FileNameOf(path);
    FUZZ_CHECK(name.find_first_of("\\/") == std::string::npos, line);
    FUZZ_CHECK(name.empty() || name[0] != '"', line);
    FUZZ_CHECK(path.size() >= name.size() &&
                   path.compare(path.size() - name.size(), name.size(), name) == 0,
               line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = fuzzsupport::Text(data, size);
    CheckSplit(text);
    CheckExecutablePath(text);

    // Any list whose program name holds no quote (a file name cannot) survives the round trip.
    Args args = fuzzsupport::Lines(text, text.size() + 1);
    std::string& program = args[0];
    program.erase(std::remove(program.begin(), program.end(), '"'), program.end());
    FUZZ_CHECK(SplitWindowsCommandLine(JoinWindowsCommandLine(args)) == args, text);
    return 0;
}
