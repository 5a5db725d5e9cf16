// Windows only: the process table from a Toolhelp snapshot, and processes held by a handle.
#include "sys/process.h"

#include <windows.h>
#include <tlhelp32.h>

#include "sys/handles_win32.h"
#include "sys/process_detail.h"

struct Process::Hold {
    std::uint32_t id = 0;
    std::uint64_t start = 0;
    ScopedHandle handle;
};

namespace {

// Enough to wait for a process, end it and read its times, exit code and path; granted for
// 64-bit processes to a 32-bit caller, and for most processes of the same user.
constexpr DWORD kHoldAccess = SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION;
constexpr DWORD kLookAccess = PROCESS_QUERY_LIMITED_INFORMATION;

using QueryImageNameFn = BOOL(WINAPI*)(HANDLE, DWORD, LPSTR, PDWORD);
using ModuleFileNameFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);

std::uint64_t CreationTime(HANDLE process) {
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        return 0;
    }
    return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

QueryImageNameFn QueryImageName() {
    static const QueryImageNameFn query =
        LookUp<QueryImageNameFn>(GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameA");
    return query;
}

// The executable path: QueryFullProcessImageNameA where the system has it (it reads 64-bit
// processes from a 32-bit caller); the older module walk elsewhere.
std::string ImagePath(HANDLE process, DWORD id) {
    const QueryImageNameFn query = QueryImageName();
    char path[MAX_PATH * 4] = {};
    if (query != nullptr) {
        DWORD size = sizeof path;
        return query(process, 0, path, &size) ? std::string(path, size) : std::string();
    }
    static const ScopedLibrary psapi(LoadLibraryA("psapi.dll"));
    static const ModuleFileNameFn moduleFileName =
        LookUp<ModuleFileNameFn>(psapi.Get(), "GetModuleFileNameExA");
    const ScopedHandle reader(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id));
    if (moduleFileName == nullptr || !reader.IsValid()) {
        return std::string();
    }
    const DWORD length = moduleFileName(reader.Get(), nullptr, path, MAX_PATH);
    return std::string(path, length);
}

std::shared_ptr<Process::Hold> MakeHold(std::uint32_t id, std::uint64_t startTime, HANDLE owned) {
    auto hold = std::make_shared<Process::Hold>();
    hold->id = id;
    hold->handle.Reset(owned != nullptr ? owned : OpenProcess(kHoldAccess, FALSE, id));
    if (!hold->handle.IsValid()) {
        // Not ours to end, but still ours to wait for.
        hold->handle.Reset(OpenProcess(SYNCHRONIZE | kLookAccess, FALSE, id));
    }
    if (!hold->handle.IsValid()) {
        return nullptr;
    }
    hold->start = CreationTime(hold->handle.Get());
    if (startTime != 0 && hold->start != startTime) {
        return nullptr;
    }
    return hold;
}

}  // namespace

bool CanQueryImagePath() {
    return QueryImageName() != nullptr;
}

std::string QueryImagePath(std::uint32_t id) {
    const ScopedHandle process(OpenProcess(kLookAccess, FALSE, id));
    return process.IsValid() ? ImagePath(process.Get(), id) : std::string();
}

std::vector<ProcessEntry> ListProcesses() {
    std::vector<ProcessEntry> table;
    const ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.IsValid()) {
        return table;
    }
    PROCESSENTRY32 item{};
    item.dwSize = sizeof item;
    for (BOOL more = Process32First(snapshot.Get(), &item); more;
         more = Process32Next(snapshot.Get(), &item)) {
        ProcessEntry entry;
        entry.id = item.th32ProcessID;
        entry.parent = item.th32ParentProcessID;
        entry.name = item.szExeFile;
        const ScopedHandle process(OpenProcess(kLookAccess, FALSE, item.th32ProcessID));
        if (process.IsValid()) {
            entry.startTime = CreationTime(process.Get());
            entry.path = ImagePath(process.Get(), item.th32ProcessID);
        }
        table.push_back(std::move(entry));
    }
    return table;
}

Process Process::Open(std::uint32_t id, std::uint64_t startTime) {
    // Id 0 is the idle process: no program of anybody's.
    return id == 0 ? Process() : Process(MakeHold(id, startTime, nullptr));
}

Process Process::Current() {
    return Open(CurrentId());
}

std::uint32_t Process::CurrentId() {
    return GetCurrentProcessId();
}

std::uint32_t Process::id() const {
    return hold_ ? hold_->id : 0;
}

std::uint64_t Process::startTime() const {
    return hold_ ? hold_->start : 0;
}

bool Process::IsRunning() const {
    return hold_ && WaitForSingleObject(hold_->handle.Get(), 0) == WAIT_TIMEOUT;
}

bool Process::WaitForExit(unsigned long ms) const {
    return !hold_ || WaitForSingleObject(hold_->handle.Get(), ms) != WAIT_TIMEOUT;
}

std::optional<int> Process::ExitStatus() const {
    DWORD code = 0;
    if (!hold_ || IsRunning() || !GetExitCodeProcess(hold_->handle.Get(), &code)) {
        return std::nullopt;
    }
    return static_cast<int>(code);
}

bool Process::AskToEnd() const {
    // A hidden console program has no window to close and takes no signal.
    return false;
}

std::vector<Process> Process::TerminateTree() const {
    if (!hold_) {
        return {};
    }
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
    if (IsRunning() && TerminateProcess(hold_->handle.Get(), 1)) {
        ended.push_back(*this);
    }
    for (const Process& process : tree) {
        if (process.IsRunning() && TerminateProcess(process.hold_->handle.Get(), 1)) {
            ended.push_back(process);
        }
    }
    return ended;
}

std::string Process::ProgramPath() const {
    return IsRunning() ? ImagePath(hold_->handle.Get(), hold_->id) : std::string();
}

Process HoldChild(std::uint32_t id, void* handle) {
    return Process(MakeHold(id, 0, static_cast<HANDLE>(handle)));
}

void RecordChildExit(const Process& /*child*/, int /*waitStatus*/) {
    // The handle tells how the process ended.
}
