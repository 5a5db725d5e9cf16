// Entry of trailhost-pack.
#include <iostream>

#include "pack/pack_tool.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    PackToolIo io{std::cout, std::cerr, AskHiddenOnTerminal};
    return RunPackTool(args, io);
}
