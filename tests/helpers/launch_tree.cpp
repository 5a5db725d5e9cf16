// One generation of a process tree: "launch_tree BASE LEVEL [deaf]" writes its process id to
// BASE.LEVEL, starts the next generation below level 2 (a child and a grandchild), and stays until
// it is killed. With "deaf", every generation takes no notice of a request to end (SIGTERM), as a
// server that is still starting up.
#include <csignal>
#include <cstdlib>

#include "launch_common.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    const std::string base = argv[1];
    const int level = std::atoi(argv[2]);
    std::vector<std::string> next = {base, std::to_string(level + 1)};
    if (argc > 3 && std::string(argv[3]) == "deaf") {
        std::signal(SIGTERM, SIG_IGN);
        next.push_back("deaf");
    }
    if (level < 2 && !launchhelper::Start(launchhelper::Sibling(argv[0], "launch_tree"), next)) {
        return 3;
    }
    launchhelper::WriteWhole(base + "." + std::to_string(level),
                             std::to_string(launchhelper::OwnId()));
    launchhelper::SleepUntilKilled();
    return 0;
}
