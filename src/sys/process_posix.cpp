// Linux only: the process table from /proc, and processes held by a process descriptor (pidfd),
// or by id and start time where the kernel has no descriptors.
#include "sys/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "sys/handles_posix.h"
#include "sys/process_detail.h"

struct Process::Hold {
    std::uint32_t id = 0;
    std::uint64_t start = 0;
    ScopedFd descriptor;  // -1 where the kernel has none
    bool child = false;   // the launcher's own child, whose end the launcher collects
    std::atomic<int> exitStatus{-1};
};

namespace {

// What /proc/<id>/stat tells: the state letter, the parent and the start time.
struct StatLine {
    char state = '?';
    std::uint32_t parent = 0;
    std::uint32_t group = 0;
    std::uint64_t start = 0;
};

bool ReadStat(std::uint32_t id, StatLine& stat) {
    char file[48];
    std::snprintf(file, sizeof file, "/proc/%u/stat", id);
    const ScopedFd fd(open(file, O_RDONLY | O_CLOEXEC));
    if (!fd.IsValid()) {
        return false;
    }
    char text[1024];
    ssize_t length = 0;
    while ((length = read(fd.Get(), text, sizeof text - 1)) < 0 && errno == EINTR) {
    }
    if (length <= 0) {
        return false;
    }
    text[length] = '\0';
    // "id (name) state parent ...": the name may hold blanks and parentheses.
    const char* close = std::strrchr(text, ')');
    if (close == nullptr || close[1] != ' ' || close[2] == '\0') {
        return false;
    }
    stat.state = close[2];
    // Fields after the name, counted from the state (field 3) on; the start time is field 22.
    const char* at = close + 2;
    unsigned long long values[20] = {};
    for (int field = 3; field <= 22; ++field) {
        while (*at == ' ') {
            ++at;
        }
        if (*at == '\0') {
            return false;
        }
        if (field > 3) {
            values[field - 3] = std::strtoull(at, nullptr, 10);
        }
        while (*at != ' ' && *at != '\0') {
            ++at;
        }
    }
    stat.parent = static_cast<std::uint32_t>(values[1]);
    stat.group = static_cast<std::uint32_t>(values[2]);
    stat.start = values[19];
    return true;
}

bool HasEnded(char state) {
    return state == 'Z' || state == 'X' || state == 'x';
}

std::string ExecutablePath(std::uint32_t id) {
    char file[48];
    std::snprintf(file, sizeof file, "/proc/%u/exe", id);
    char target[PATH_MAX];
    const ssize_t size = readlink(file, target, sizeof target - 1);
    if (size <= 0) {
        return std::string();
    }
    std::string path(target, static_cast<std::size_t>(size));
    // An executable replaced on disk after the start is shown this way.
    static const std::string kDeleted = " (deleted)";
    if (path.size() > kDeleted.size() &&
        path.compare(path.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0) {
        path.erase(path.size() - kDeleted.size());
    }
    return path;
}

std::uint32_t IdOfEntry(const char* name) {
    std::uint64_t id = 0;
    for (const char* c = name; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9' || id > 0xFFFFFFFFu) {
            return 0;
        }
        id = id * 10 + static_cast<std::uint64_t>(*c - '0');
    }
    return id <= 0xFFFFFFFFu ? static_cast<std::uint32_t>(id) : 0;
}

bool IsSignallable(std::uint32_t id) {
    // 0 and ids beyond pid_t would make kill() reach whole process groups.
    return id != 0 && id <= static_cast<std::uint32_t>(INT_MAX);
}

int OpenDescriptor(std::uint32_t id) {
    return static_cast<int>(syscall(SYS_pidfd_open, static_cast<pid_t>(id), 0));
}

bool SendSignal(const Process::Hold& hold, int signal) {
    if (hold.descriptor.IsValid()) {
        return syscall(SYS_pidfd_send_signal, hold.descriptor.Get(), signal, nullptr, 0) == 0;
    }
    // Without a descriptor the start time is the proof; the window between the look and the
    // signal is as small as it can be made.
    StatLine stat;
    return IsSignallable(hold.id) && ReadStat(hold.id, stat) && stat.start == hold.start &&
           !HasEnded(stat.state) && kill(static_cast<pid_t>(hold.id), signal) == 0;
}

std::shared_ptr<Process::Hold> MakeHold(std::uint32_t id, std::uint64_t startTime) {
    if (!IsSignallable(id)) {
        return nullptr;
    }
    auto hold = std::make_shared<Process::Hold>();
    hold->id = id;
    hold->descriptor.Reset(OpenDescriptor(id));
    if (!hold->descriptor.IsValid() && errno != ENOSYS) {
        return nullptr;
    }
    // The descriptor pins the process: the start time read after it was taken is that process's.
    StatLine stat;
    if (!ReadStat(id, stat) || (startTime != 0 && stat.start != startTime)) {
        return nullptr;
    }
    hold->start = stat.start;
    return hold;
}

}  // namespace

std::vector<ProcessEntry> ListProcesses() {
    std::vector<ProcessEntry> table;
    const ScopedDir proc(opendir("/proc"));
    if (proc == nullptr) {
        return table;
    }
    while (const dirent* item = readdir(proc.get())) {
        const std::uint32_t id = IdOfEntry(item->d_name);
        StatLine stat;
        if (id == 0 || !ReadStat(id, stat) || HasEnded(stat.state)) {
            continue;
        }
        ProcessEntry entry;
        entry.id = id;
        entry.parent = stat.parent;
        entry.group = stat.group;
        entry.startTime = stat.start;
        entry.path = ExecutablePath(id);
        const std::string::size_type slash = entry.path.rfind('/');
        entry.name = slash == std::string::npos ? entry.path : entry.path.substr(slash + 1);
        table.push_back(std::move(entry));
    }
    return table;
}

Process Process::Open(std::uint32_t id, std::uint64_t startTime) {
    return Process(MakeHold(id, startTime));
}

Process Process::Current() {
    return Open(CurrentId());
}

std::uint32_t Process::CurrentId() {
    return static_cast<std::uint32_t>(getpid());
}

std::uint32_t Process::id() const {
    return hold_ ? hold_->id : 0;
}

std::uint64_t Process::startTime() const {
    return hold_ ? hold_->start : 0;
}

bool Process::IsRunning() const {
    if (!hold_ || hold_->exitStatus >= 0) {
        return false;
    }
    if (hold_->descriptor.IsValid()) {
        // The descriptor turns readable when the process ends, collected or not.
        pollfd wait{hold_->descriptor.Get(), POLLIN, 0};
        int ready = 0;
        while ((ready = poll(&wait, 1, 0)) < 0 && errno == EINTR) {
        }
        return ready == 0;
    }
    StatLine stat;
    return ReadStat(hold_->id, stat) && stat.start == hold_->start && !HasEnded(stat.state);
}

bool Process::WaitForExit(unsigned long ms) const {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (IsRunning()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return false;
        }
        if (hold_->descriptor.IsValid()) {
            pollfd wait{hold_->descriptor.Get(), POLLIN, 0};
            poll(&wait, 1, static_cast<int>(std::min<long long>(left, INT_MAX)));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min<long long>(left, 20)));
        }
    }
    return true;
}

std::optional<int> Process::ExitStatus() const {
    if (!hold_) {
        return std::nullopt;
    }
    // A child that has just ended is being collected: its status follows in a moment.
    for (int i = 0; hold_->child && hold_->exitStatus < 0 && i < 200 && !IsRunning(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (hold_->exitStatus < 0) {
        return std::nullopt;
    }
    return hold_->exitStatus.load();
}

bool Process::AskToEnd() const {
    return hold_ && IsRunning() && SendSignal(*hold_, SIGTERM);
}

std::vector<Process> Process::TerminateTree() const {
    if (!hold_) {
        return {};
    }
    // Every parent id is read before anything is ended: an ended process's children are handed
    // to another parent at once and could no longer be found.
    const std::vector<ProcessEntry> table = ListProcesses();
    std::vector<Process> tree;
    for (const std::uint32_t id : DescendantsOf(table, hold_->id, hold_->start)) {
        for (const ProcessEntry& entry : table) {
            if (entry.id == id) {
                tree.push_back(Open(id, entry.startTime));
            }
        }
    }
    std::vector<Process> ended;
    if (IsRunning() && SendSignal(*hold_, SIGKILL)) {
        ended.push_back(*this);
    }
    for (const Process& process : tree) {
        if (process.IsValid() && SendSignal(*process.hold_, SIGKILL)) {
            ended.push_back(process);
        }
    }
    return ended;
}

std::string Process::ProgramPath() const {
    return IsRunning() ? ExecutablePath(hold_->id) : std::string();
}

Process HoldChild(std::uint32_t id, void* /*handle*/) {
    // Nobody but the launcher collects its children, so the id is still the child's here.
    std::shared_ptr<Process::Hold> hold = MakeHold(id, 0);
    if (hold) {
        hold->child = true;
    }
    return Process(hold);
}

void RecordChildExit(const Process& child, int waitStatus) {
    if (!child.hold()) {
        return;
    }
    const int status = WIFEXITED(waitStatus)     ? WEXITSTATUS(waitStatus)
                       : WIFSIGNALED(waitStatus) ? 128 + WTERMSIG(waitStatus)
                                                 : 255;
    child.hold()->exitStatus = status;
}
