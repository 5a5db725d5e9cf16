// Linux only: the command line is rebuilt from the process's argv.
#include "config/command_line.h"

#include <fstream>
#include <iterator>

std::string ProcessCommandLine() {
    // The kernel keeps argv as 0-terminated strings one after the other.
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    size_t start = 0;
    while (start < raw.size()) {
        size_t end = raw.find('\0', start);
        if (end == std::string::npos) {
            end = raw.size();
        }
        args.push_back(raw.substr(start, end - start));
        start = end + 1;
    }
    return CommandLineFromArgs(args);
}
