// One generation of a process tree: "launch_tree BASE LEVEL" writes its process id to BASE.LEVEL,
// starts "launch_tree BASE LEVEL+1" below level 2 (a child and a grandchild), and stays until
// it is killed.
#include <cstdlib>

#include "launch_common.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    const std::string base = argv[1];
    const int level = std::atoi(argv[2]);
    if (level < 2 && !launchhelper::Start(launchhelper::Sibling(argv[0], "launch_tree"),
                                          {base, std::to_string(level + 1)})) {
        return 3;
    }
    launchhelper::WriteWhole(base + "." + std::to_string(level),
                             std::to_string(launchhelper::OwnId()));
    launchhelper::SleepUntilKilled();
    return 0;
}
