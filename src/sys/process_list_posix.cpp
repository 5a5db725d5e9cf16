// Linux only: process lists from /proc.
#include "sys/process_list.h"

#include "sys/handles_posix.h"
#include "sys/process_list_detail.h"
#include "sys/text.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// The id that a /proc entry name stands for; 0 for anything else.
std::uint32_t ProcessIdFromEntry(const char* name) {
    std::uint32_t id = 0;
    for (const char* c = name; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') {
            return 0;
        }
        id = id * 10 + static_cast<std::uint32_t>(*c - '0');
    }
    return id;
}

// Whether `id` is a process that has not ended (zombies have); fills `exe` with its executable
// path, or leaves it empty when that cannot be read (another user's process, a kernel thread).
bool ReadProcess(std::uint32_t id, std::string& exe) {
    exe.clear();
    char file[48];
    std::snprintf(file, sizeof file, "/proc/%u/stat", id);
    const ScopedFd stat(open(file, O_RDONLY | O_CLOEXEC));
    if (!stat.IsValid()) {
        return false;
    }
    // "pid (name) state ...": the name may hold blanks and parentheses, so look after the last ')'.
    char text[512];
    const ssize_t length = read(stat.Get(), text, sizeof text - 1);
    if (length <= 0) {
        return false;
    }
    text[length] = '\0';
    const char* close = std::strrchr(text, ')');
    if (close == nullptr || close[1] != ' ') {
        return false;
    }
    const char state = close[2];
    if (state == 'Z' || state == 'X' || state == 'x') {
        return false;
    }

    std::snprintf(file, sizeof file, "/proc/%u/exe", id);
    char target[4096];
    const ssize_t size = readlink(file, target, sizeof target - 1);
    if (size > 0) {
        exe.assign(target, static_cast<std::size_t>(size));
        // An executable replaced on disk after the start is shown this way.
        static const std::string kDeleted = " (deleted)";
        if (exe.size() > kDeleted.size() &&
            exe.compare(exe.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0) {
            exe.erase(exe.size() - kDeleted.size());
        }
    }
    return true;
}

// The ids of /proc, in its order; false (errno set) when /proc cannot be read.
bool ListProcessIds(std::vector<std::uint32_t>& ids) {
    ids.clear();
    const ScopedDir dir(opendir("/proc"));
    if (dir == nullptr) {
        return false;
    }
    while (const dirent* entry = readdir(dir.get())) {
        if (const std::uint32_t id = ProcessIdFromEntry(entry->d_name); id != 0) {
            ids.push_back(id);
        }
    }
    return true;
}

std::uint32_t Terminate(std::uint32_t id) {
    // A process descriptor pins the process, so that the signal cannot reach a newcomer that
    // received the same id in the meantime.
    const ScopedFd process(static_cast<int>(syscall(SYS_pidfd_open, id, 0)));
    if (!process.IsValid()) {
        if (errno != ENOSYS) {
            return kKillOpenFailed;
        }
        return kill(static_cast<pid_t>(id), SIGKILL) == 0 ? kKillDone : kKillTerminateFailed;
    }
    return syscall(SYS_pidfd_send_signal, process.Get(), SIGKILL, nullptr, 0) == 0
               ? kKillDone
               : kKillTerminateFailed;
}

class CProcessInfoProc : public CProcessInfoBase {
public:
    bool Init() override { return true; }
    void Done() override { ids_.clear(); }

    bool Refresh() override {
        cursor_ = 0;
        return ListProcessIds(ids_);
    }

    bool NextProcess(char* name, char* path, std::uint32_t* id, bool* more) override {
        if (cursor_ >= ids_.size()) {
            *more = false;
            return false;
        }
        *id = ids_[cursor_++];
        *more = cursor_ < ids_.size();
        std::string exe;
        if (!ReadProcess(*id, exe) || exe.empty()) {
            return false;
        }
        CopyProcessText(path, exe);
        CopyProcessText(name, StripFolder(exe));
        return true;
    }

private:
    std::vector<std::uint32_t> ids_;
    std::size_t cursor_ = 0;
};

}  // namespace

bool EnumerateProcesses(ProcessCallback callback, void* user) {
    std::vector<std::uint32_t> ids;
    if (!ListProcessIds(ids)) {
        return false;
    }
    std::string exe;
    std::string name;
    for (const std::uint32_t id : ids) {
        if (!ReadProcess(id, exe)) {
            continue;
        }
        name = StripFolder(exe);
        if (callback(id, exe.empty() ? nullptr : name.c_str(), user) == 0) {
            break;
        }
    }
    return true;
}

std::uint32_t KillProcessByName(const std::string& name) {
    if (name.empty() || name.size() > kProcessTextSize) {
        return kKillBadName;
    }
    const std::string sought = Upper(name);
    std::vector<std::uint32_t> ids;
    ListProcessIds(ids);
    std::string exe;
    for (const std::uint32_t id : ids) {
        if (ReadProcess(id, exe) && !exe.empty() && Upper(StripFolder(exe)) == sought) {
            return Terminate(id);
        }
    }
    return kKillNotFound;
}

std::unique_ptr<CProcessInfoBase> ChooseProcessInfoWay(bool) {
    return std::make_unique<CProcessInfoProc>();
}
