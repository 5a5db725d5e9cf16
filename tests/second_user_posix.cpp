// Linux only: the second user's side runs in forked children that drop to that user before they
// do anything else.
#include "second_user.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace testsupport {

namespace {

constexpr char kUserName[] = "trh-test-peer";

// A child process that has become `user`, or this process (the parent) with the child's id.
// Between fork and exit the child only makes system calls: the test program has threads.
pid_t ForkAs(const SecondUser& user) {
    const pid_t pid = fork();
    if (pid == 0 && (setgroups(0, nullptr) != 0 || setresgid(user.gid, user.gid, user.gid) != 0 ||
                     setresuid(user.uid, user.uid, user.uid) != 0)) {
        _exit(125);
    }
    return pid;
}

bool EndedWithZero(pid_t pid) {
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

}  // namespace

std::optional<SecondUser> SecondUserOfThisMachine(std::string& why) {
    if (geteuid() != 0) {
        why = "acting as a second user of the machine needs root";
        return std::nullopt;
    }
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (const passwd* entry = getpwnam(kUserName)) {
            return SecondUser{entry->pw_uid, entry->pw_gid};
        }
        // Another test program may be making the user at this moment: useradd then finds the user
        // list locked, and a later look finds the user.
        if (attempt > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        std::system(
            "useradd --system --no-create-home --shell /usr/sbin/nologin trh-test-peer "
            ">/dev/null 2>&1");
    }
    why = std::string("the user ") + kUserName + " could not be made (useradd)";
    return std::nullopt;
}

bool RunsAs(const SecondUser& user, const std::function<bool()>& body) {
    const pid_t pid = ForkAs(user);
    if (pid == 0) {
        _exit(body() ? 0 : 1);
    }
    return EndedWithZero(pid);
}

bool CanOpenAs(const SecondUser& user, const std::string& path) {
    return RunsAs(user, [name = path.c_str()] { return open(name, O_RDONLY | O_CLOEXEC) >= 0; });
}

bool MakeFolderAs(const SecondUser& user, const std::string& path, mode_t mode) {
    return RunsAs(user, [name = path.c_str(), mode] {
        return mkdir(name, mode) == 0 && chmod(name, mode) == 0;
    });
}

ProcessAsUser::ProcessAsUser(const SecondUser& user, const std::string& program,
                             const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_ = ForkAs(user);
    if (pid_ == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
}

ProcessAsUser::~ProcessAsUser() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

}  // namespace testsupport
