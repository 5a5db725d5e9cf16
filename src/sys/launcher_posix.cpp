// Linux only: posix_spawn without a shell, each child in a process group of its own, collected
// by the launcher when it ends; tied programs forked from a thread that lives as long as the
// process.
#include "sys/launcher.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "sys/launcher_detail.h"
#include "sys/process_detail.h"

extern char** environ;

namespace {

class SpawnAttributes {
public:
    SpawnAttributes() : error_(posix_spawnattr_init(&attributes_)) {}
    ~SpawnAttributes() {
        if (error_ == 0) {
            posix_spawnattr_destroy(&attributes_);
        }
    }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;

    int error() const { return error_; }
    posix_spawnattr_t* get() { return &attributes_; }

private:
    posix_spawnattr_t attributes_;
    int error_;
};

class SpawnFileActions {
public:
    SpawnFileActions() : error_(posix_spawn_file_actions_init(&actions_)) {}
    ~SpawnFileActions() {
        if (error_ == 0) {
            posix_spawn_file_actions_destroy(&actions_);
        }
    }
    SpawnFileActions(const SpawnFileActions&) = delete;
    SpawnFileActions& operator=(const SpawnFileActions&) = delete;

    int error() const { return error_; }
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
    int error_;
};

// The launcher's environment with the launch's own variables; `pointers` ends with null.
class ChildEnvironment {
public:
    explicit ChildEnvironment(const std::vector<std::pair<std::string, std::string>>& overrides) {
        std::vector<std::string> inherited;
        for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
            inherited.emplace_back(*entry);
        }
        entries_ = MergeEnvironment(inherited, overrides);
        for (std::string& entry : entries_) {
            pointers_.push_back(entry.data());
        }
        pointers_.push_back(nullptr);
    }
    char** get() { return pointers_.data(); }

private:
    std::vector<std::string> entries_;
    std::vector<char*> pointers_;
};

// Starts argv[0] (see FindProgram) with the given environment and the caller's current folder.
// Returns 0 or the errno that kept the program from running.
int Spawn(const std::vector<std::string>& args, char** environment, pid_t& pid) {
    if (args.empty() || args[0].empty()) {
        return ENOENT;
    }
    const std::string path = FindProgram(args[0]);
    if (path.empty()) {
        return ENOENT;
    }
    SpawnFileActions actions;
    SpawnAttributes attributes;
    if (actions.error() != 0) {
        return actions.error();
    }
    if (attributes.error() != 0) {
        return attributes.error();
    }
    // Whatever descriptors the launcher holds (files, sockets, the other ends of pipes), the
    // child starts with standard input, output and error only, whether or not their owners asked
    // for close-on-exec.
    int error = posix_spawn_file_actions_addclosefrom_np(actions.get(), 3);
    // A group of its own: a server that signals its whole group must not reach the launcher.
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    if (error == 0) {
        error = posix_spawnattr_setpgroup(attributes.get(), 0);
    }
    if (error == 0) {
        error = posix_spawnattr_setsigmask(attributes.get(), &none);
    }
    if (error == 0) {
        error = posix_spawnattr_setsigdefault(attributes.get(), &all);
    }
    if (error == 0) {
        error = posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETPGROUP |
                                                               POSIX_SPAWN_SETSIGMASK |
                                                               POSIX_SPAWN_SETSIGDEF);
    }
    if (error != 0) {
        return error;
    }
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    return posix_spawn(&pid, path.c_str(), actions.get(), attributes.get(), argv.data(),
                       environment);
}

// Closes every descriptor from 3 up, except `keep`.
void CloseDescriptorsExcept(int keep) {
    if (keep > 3) {
        close_range(3, static_cast<unsigned>(keep) - 1, 0);
    }
    close_range(static_cast<unsigned>(keep < 3 ? 3 : keep + 1), ~0U, 0);
}

// Spawn for a program tied to the launcher: fork and exec with the parent-death signal set in
// the child. Between fork and exec the child only makes calls that are safe in a copy of a
// threaded process; a failed exec reports its errno through a close-on-exec pipe.
int ForkTied(const std::vector<std::string>& args, char** environment, pid_t& pid) {
    if (args.empty() || args[0].empty()) {
        return ENOENT;
    }
    const std::string path = FindProgram(args[0]);
    if (path.empty()) {
        return ENOENT;
    }
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        return errno;
    }
    const pid_t parent = getpid();
    // No handler of the launcher may run in the child before exec.
    sigset_t all;
    sigset_t old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    const pid_t child = fork();
    if (child == 0) {
        setpgid(0, 0);
        // A child that could not be tied must not run untied.
        if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0) {
            const int error = errno;
            (void)!write(report[1], &error, sizeof(error));
            _exit(127);
        }
        // The launcher may have died between fork and prctl; the signal would then never come.
        if (getppid() != parent) {
            _exit(127);
        }
        struct sigaction standard {};
        standard.sa_handler = SIG_DFL;
        for (int signal = 1; signal < NSIG; ++signal) {
            sigaction(signal, &standard, nullptr);
        }
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        CloseDescriptorsExcept(report[1]);
        execve(path.c_str(), argv.data(), environment);
        const int error = errno;
        (void)!write(report[1], &error, sizeof(error));
        _exit(127);
    }
    const int forkError = errno;
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    close(report[1]);
    if (child < 0) {
        close(report[0]);
        return forkError;
    }
    int execError = 0;
    ssize_t count = 0;
    while ((count = read(report[0], &execError, sizeof(execError))) < 0 && errno == EINTR) {
    }
    close(report[0]);
    if (count == static_cast<ssize_t>(sizeof(execError))) {
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
        return execError;
    }
    pid = child;
    return 0;
}

// The thread that starts the tied programs. The parent-death signal follows the thread that
// forked the child, not the process: a server started from a worker thread that ends first
// would be signalled at once. This thread lives until the process ends, so the signal comes
// exactly when the launcher's process goes.
class TiedSpawner {
public:
    static TiedSpawner& Instance() {
        // Never destroyed: its thread may wait on it while the process exits.
        static TiedSpawner* instance = new TiedSpawner;
        return *instance;
    }

    int Spawn(const std::vector<std::string>& args, char** environment, pid_t& pid) {
        std::unique_lock<std::mutex> hold(lock_);
        changed_.wait(hold, [this] { return request_ == nullptr; });
        Request request{&args, environment};
        request_ = &request;
        changed_.notify_all();
        changed_.wait(hold, [&request] { return request.done; });
        pid = request.pid;
        return request.error;
    }

private:
    struct Request {
        const std::vector<std::string>* args;
        char** environment;
        pid_t pid = 0;
        int error = 0;
        bool done = false;
    };

    TiedSpawner() {
        std::thread([this] { Serve(); }).detach();
    }

    void Serve() {
        std::unique_lock<std::mutex> hold(lock_);
        for (;;) {
            changed_.wait(hold, [this] { return request_ != nullptr && !request_->done; });
            Request* request = request_;
            hold.unlock();
            request->error = ForkTied(*request->args, request->environment, request->pid);
            hold.lock();
            request->done = true;
            request_ = nullptr;
            changed_.notify_all();
        }
    }

    std::mutex lock_;
    std::condition_variable changed_;
    Request* request_ = nullptr;
};

// A child that has ended stays a zombie until it is collected; nobody but this thread collects
// it, so its id stays its own (and its process descriptor valid) until then.
void CollectWhenEnded(const Process& child) {
    std::thread([child] {
        int status = 0;
        pid_t done = 0;
        while ((done = waitpid(static_cast<pid_t>(child.id()), &status, 0)) < 0 && errno == EINTR) {
        }
        if (done > 0) {
            RecordChildExit(child, status);
        }
    }).detach();
}

}  // namespace

std::string FindProgram(const std::string& program) {
    if (program.empty() || program.find('/') != std::string::npos) {
        return program;
    }
    // Without PATH, the system's own default; an empty element would mean the current folder,
    // which is never searched.
    const char* search = std::getenv("PATH");
    std::string folders = search != nullptr ? search : "/usr/local/bin:/usr/bin:/bin";
    std::istringstream list(folders);
    std::string folder;
    while (std::getline(list, folder, ':')) {
        if (folder.empty()) {
            continue;
        }
        const std::string candidate = folder + "/" + program;
        struct stat info {};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return std::string();
}

int ProcessLauncher::Create(const std::string& commandLine, const LaunchOptions& options,
                            Process& created) {
    const std::vector<std::string> args = SplitWindowsCommandLine(commandLine);
    pid_t pid = 0;
    ChildEnvironment environment(options.environment);
    const int error = options.tied ? TiedSpawner::Instance().Spawn(args, environment.get(), pid)
                                   : Spawn(args, environment.get(), pid);
    if (error != 0) {
        return error;
    }
    created = HoldChild(static_cast<std::uint32_t>(pid), nullptr);
    CollectWhenEnded(created);
    // UntilIdle: Linux has no notion of a program waiting for input; the launch is done.
    return 0;
}

std::string HandoverName(const std::string& /*commandLine*/, const std::string& processName) {
    return processName;
}

bool PlaceWindow(const Process& /*process*/, const LaunchOptions& /*options*/) {
    // Only windows are shown, hidden or sized, and Linux places none: an X11 client library
    // would be a new dependency, and under Wayland or without a display there is nothing to do.
    return true;
}
