// Linux only: test programs started with posix_spawn.
#include "child_process.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testsupport {

ChildProcess::~ChildProcess() {
    if (id_ != 0) {
        kill(static_cast<pid_t>(id_), SIGKILL);
        waitpid(static_cast<pid_t>(id_), nullptr, 0);
    }
    if (processFd_ >= 0) {
        close(processFd_);
    }
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        return false;
    }
    id_ = static_cast<std::uint32_t>(pid);
    processFd_ = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    return processFd_ >= 0;
}

bool ChildProcess::WaitForEnd(unsigned long ms) {
    pollfd entry{processFd_, POLLIN, 0};
    return poll(&entry, 1, static_cast<int>(ms)) == 1;
}

}  // namespace testsupport
