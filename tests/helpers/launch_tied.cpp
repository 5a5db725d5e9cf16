// "launch_tied BASE tied|untied": starts "launch_tree BASE 1" (a child and a grandchild) through
// the launcher on a worker thread that ends right after the launch, tied to this process or not;
// writes its own id to BASE.launcher once that thread has ended, and stays until it is killed.
#include <string>
#include <thread>

#include "launch_common.h"
#include "sys/launcher.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    const std::string base = argv[1];
    const bool tied = std::string(argv[2]) == "tied";
    bool started = false;
    std::thread worker([&] {
        ProcessLauncher launcher;
        launcher.TieToLauncher(tied);
        started = launcher.Launch(
            "\"" + launchhelper::Sibling(argv[0], "launch_tree") + "\" \"" + base + "\" 1", "",
            LaunchWait::None, false, WindowSearch::Direct);
    });
    worker.join();
    if (!started) {
        return 3;
    }
    launchhelper::WriteWhole(base + ".launcher", std::to_string(launchhelper::OwnId()));
    launchhelper::SleepUntilKilled();
    return 0;
}
