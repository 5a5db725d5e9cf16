// Linux only: posix_spawn without a shell, each child in a process group of its own; /proc for
// the handover search and for process trees.
#include "sys/launcher.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <strings.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "sys/error_text.h"
#include "sys/message_box.h"
#include "sys/process_list.h"

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

// Starts argv[0] (searched on PATH when it names no folder) with the caller's environment and
// current folder. Returns 0 or the errno that kept the program from running.
int Spawn(const std::vector<std::string>& args, pid_t& pid) {
    if (args.empty() || args[0].empty()) {
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
    return posix_spawnp(&pid, argv[0], actions.get(), attributes.get(), argv.data(), environ);
}

// Where a program runs from: itself when it names a folder, else the first executable of that
// name on PATH, as posix_spawnp searches; empty when there is none.
std::string SearchPath(const std::string& program) {
    if (program.find('/') != std::string::npos) {
        return program;
    }
    const char* search = std::getenv("PATH");
    std::istringstream folders(search != nullptr ? search : "/usr/local/bin:/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return std::string();
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
int ForkTied(const std::vector<std::string>& args, pid_t& pid) {
    if (args.empty() || args[0].empty()) {
        return ENOENT;
    }
    const std::string path = SearchPath(args[0]);
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
        prctl(PR_SET_PDEATHSIG, SIGTERM);
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
        execve(path.c_str(), argv.data(), environ);
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

    int Spawn(const std::vector<std::string>& args, pid_t& pid) {
        std::unique_lock<std::mutex> hold(lock_);
        changed_.wait(hold, [this] { return request_ == nullptr; });
        Request request{&args};
        request_ = &request;
        changed_.notify_all();
        changed_.wait(hold, [&request] { return request.done; });
        pid = request.pid;
        return request.error;
    }

private:
    struct Request {
        const std::vector<std::string>* args;
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
            request->error = ForkTied(*request->args, request->pid);
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

// A child that has ended stays a zombie, still listed in /proc, until it is waited for; the
// process-end watcher and the handover search would count it as alive.
void ReapWhenEnded(pid_t pid) {
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

struct ProcessEntry {
    pid_t pid = 0;
    pid_t parent = 0;
    char state = '?';
};

bool ReadProcessEntry(pid_t pid, ProcessEntry& entry) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) {
        return false;
    }
    // "pid (name) state parent ...": the name may itself hold blanks and parentheses.
    const std::string::size_type close = line.rfind(')');
    if (close == std::string::npos) {
        return false;
    }
    std::istringstream rest(line.substr(close + 1));
    entry.pid = pid;
    return static_cast<bool>(rest >> entry.state >> entry.parent);
}

std::vector<ProcessEntry> ProcessTable() {
    std::vector<ProcessEntry> table;
    std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), closedir);
    if (!proc) {
        return table;
    }
    while (const dirent* item = readdir(proc.get())) {
        char* end = nullptr;
        const long pid = std::strtol(item->d_name, &end, 10);
        ProcessEntry entry;
        if (pid > 0 && *end == '\0' && ReadProcessEntry(static_cast<pid_t>(pid), entry)) {
            table.push_back(entry);
        }
    }
    return table;
}

// The file name the started program runs under: found on PATH like posix_spawnp does, links
// followed, so that "firefox" linked to "firefox-esr" gives "firefox-esr".
std::string ProgramRunName(const std::string& program) {
    std::string path = SearchPath(program);
    if (path.empty()) {
        path = program;
    }
    std::unique_ptr<char, void (*)(void*)> resolved(realpath(path.c_str(), nullptr), std::free);
    return FileNameOf(resolved ? resolved.get() : path);
}

// The new process that runs an executable of the wanted name: not in the list taken before the
// launch, not a zombie; of several, the one whose parent is none of them (the program, not its
// helpers), the lowest id first.
pid_t FindNewProcess(const std::set<pid_t>& before, const std::string& wanted) {
    CProcessInfo processes;
    if (!processes.Init(false)) {
        return 0;
    }
    std::set<pid_t> found;
    std::map<pid_t, pid_t> parents;
    for (const ProcessEntry& entry : ProcessTable()) {
        char name[kProcessTextSize] = {};
        if (before.count(entry.pid) == 0 && entry.state != 'Z' &&
            processes.FindProcessById(name, nullptr, static_cast<std::uint32_t>(entry.pid)) &&
            strcasecmp(name, wanted.c_str()) == 0) {
            found.insert(entry.pid);
            parents[entry.pid] = entry.parent;
        }
    }
    for (pid_t pid : found) {
        if (found.count(parents[pid]) == 0) {
            return pid;
        }
    }
    return 0;
}

}  // namespace

bool ProcessLauncher::Launch(const std::string& program, const std::string& arguments,
                             LaunchWait wait, bool show, WindowSearch search,
                             const std::string& size, const std::string& processName) {
    // Only windows are shown, hidden or sized, and Linux places none: an X11 client library
    // would be a new dependency, and under Wayland or without a display there is nothing to do.
    (void)show;
    (void)size;
    const std::vector<std::string> args = SplitWindowsCommandLine(program + " " + arguments);

    std::string wanted;
    std::set<pid_t> before;
    if (search == WindowSearch::Handover) {
        wanted = processName;
        if (wanted.empty() && !args.empty()) {
            wanted = ProgramRunName(args[0]);
        }
        for (const ProcessEntry& entry : ProcessTable()) {
            before.insert(entry.pid);
        }
    }

    pid_t pid = 0;
    const int error = tied_ ? TiedSpawner::Instance().Spawn(args, pid) : Spawn(args, pid);
    if (error != 0) {
        ShowMessageBox(SystemErrorText(static_cast<unsigned long>(error)), "Error",
                       kMessageBoxIconInformation);
        return false;
    }
    ReapWhenEnded(pid);

    if (search == WindowSearch::Handover) {
        const pid_t adopted = PauseForHandover() ? FindNewProcess(before, wanted) : 0;
        if (adopted != 0) {
            processId_ = static_cast<std::uint32_t>(adopted);
        }
    } else {
        processId_ = static_cast<std::uint32_t>(pid);
    }

    if (wait == LaunchWait::UntilExit) {
        WaitForExit();
    }
    // UntilIdle: Linux has no notion of a program waiting for input; the launch is done.
    return true;
}

bool ProcessLauncher::AskToEnd(std::uint32_t id) {
    // 0 and ids beyond pid_t would reach whole process groups.
    return id != 0 && id <= static_cast<std::uint32_t>(INT_MAX) &&
           kill(static_cast<pid_t>(id), SIGTERM) == 0;
}

void ProcessLauncher::TerminateTree(std::uint32_t id) {
    // 0 and ids beyond pid_t would make kill() reach whole process groups.
    if (id == 0 || id > static_cast<std::uint32_t>(INT_MAX)) {
        return;
    }
    // Every parent id is read before anything is killed: a killed process's children are
    // handed to another parent at once and could no longer be found.
    std::multimap<pid_t, pid_t> children;
    for (const ProcessEntry& entry : ProcessTable()) {
        children.emplace(entry.parent, entry.pid);
    }
    std::vector<pid_t> tree{static_cast<pid_t>(id)};
    std::set<pid_t> seen{static_cast<pid_t>(id)};
    for (std::size_t i = 0; i < tree.size(); ++i) {
        const auto range = children.equal_range(tree[i]);
        for (auto it = range.first; it != range.second; ++it) {
            if (seen.insert(it->second).second) {
                tree.push_back(it->second);
            }
        }
    }
    for (pid_t pid : tree) {
        kill(pid, SIGKILL);
    }
}
