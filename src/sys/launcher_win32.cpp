// Windows only: CreateProcessA, the direct and the handover window search, bringing the window
// forward, and Toolhelp-based termination of process trees.
#include "sys/launcher.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstdint>
#include <set>
#include <vector>

#include "sys/handles_win32.h"
#include "sys/message_box.h"
#include "sys/process_list.h"

namespace {

// The system's text for a failed start. Inserts stay as they are: texts such as "%1 is not a
// valid Win32 application." would otherwise make the formatting fail.
std::string StartErrorText(DWORD code) {
    char* text = nullptr;
    FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&text), 0,
        nullptr);
    const std::string result = text != nullptr ? text : "";
    LocalFree(text);
    return result;
}

// The executable's long form when it exists (an 8.3 path names the same file under another
// name), else the path as written.
std::string LongForm(const std::string& path) {
    char buffer[MAX_PATH] = {};
    const DWORD length = GetLongPathNameA(path.c_str(), buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(buffer, length) : path;
}

// Top-level windows in ascending order of handle value.
using WindowSet = std::set<std::uintptr_t>;

BOOL CALLBACK CollectWindow(HWND window, LPARAM set) {
    reinterpret_cast<WindowSet*>(set)->insert(reinterpret_cast<std::uintptr_t>(window));
    return TRUE;
}

WindowSet TopLevelWindows() {
    WindowSet windows;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

struct DirectSearch {
    DWORD thread = 0;
    HWND found = nullptr;
};

// The first titled top-level window of the new program's primary thread, or the first visible
// window below it in Z-order; no window when the walk reaches the bottom without a visible one.
BOOL CALLBACK CheckDirectWindow(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<DirectSearch*>(data);
    char title[2] = {};
    if (GetWindowThreadProcessId(window, nullptr) != search->thread ||
        GetWindowTextA(window, title, sizeof(title)) == 0) {
        return TRUE;
    }
    HWND walk = window;
    while (walk != nullptr && !IsWindowVisible(walk)) {
        walk = GetWindow(walk, GW_HWNDNEXT);
    }
    search->found = walk;
    return FALSE;
}

HWND FindDirectWindow(DWORD thread) {
    DirectSearch search;
    search.thread = thread;
    EnumWindows(CheckDirectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The first window (by handle value) that appeared or vanished between the two sets, still
// exists, and belongs to a process running an executable of the wanted name.
HWND FindHandoverWindow(const WindowSet& before, const WindowSet& after, const std::string& wanted,
                        DWORD& owner) {
    WindowSet changed;
    for (std::uintptr_t w : before) {
        if (after.count(w) == 0) {
            changed.insert(w);
        }
    }
    for (std::uintptr_t w : after) {
        if (before.count(w) == 0) {
            changed.insert(w);
        }
    }
    CProcessInfo processes;
    if (!processes.Init(false)) {
        return nullptr;
    }
    for (std::uintptr_t value : changed) {
        HWND window = reinterpret_cast<HWND>(value);
        if (!IsWindow(window)) {
            continue;
        }
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid == 0) {
            continue;
        }
        char name[MAX_PATH + 1] = {};
        char path[MAX_PATH + 1] = {};
        if (processes.FindProcessById(name, path, pid) && lstrcmpiA(name, wanted.c_str()) == 0) {
            owner = pid;
            return window;
        }
    }
    return nullptr;
}

// Windows lets only the foreground thread hand the foreground on; sharing its input state for
// the moment of the switch lets the launcher do it.
void BringForward(HWND window, DWORD programThread) {
    const DWORD self = GetCurrentThreadId();
    const DWORD foreground = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    const bool foregroundAttached =
        foreground != self && AttachThreadInput(self, foreground, TRUE) != FALSE;
    const bool programAttached =
        programThread != self && AttachThreadInput(self, programThread, TRUE) != FALSE;
    SetForegroundWindow(window);
    if (foregroundAttached) {
        AttachThreadInput(self, foreground, FALSE);
    }
    if (programAttached) {
        AttachThreadInput(self, programThread, FALSE);
    }
}

void TerminateTreeOnce(DWORD id, std::set<DWORD>& visited) {
    // A process whose parent ended long ago may name a reused id as its parent; the visited
    // set keeps such a cycle from recursing for ever.
    if (id == 0 || !visited.insert(id).second) {
        return;
    }
    std::vector<DWORD> children;
    {
        ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        if (snapshot.IsValid()) {
            PROCESSENTRY32 entry{};
            entry.dwSize = sizeof(entry);
            for (BOOL more = Process32First(snapshot.Get(), &entry); more;
                 more = Process32Next(snapshot.Get(), &entry)) {
                if (entry.th32ParentProcessID == id && entry.th32ProcessID != id) {
                    children.push_back(entry.th32ProcessID);
                }
            }
        }
    }
    // The children stay listed under this id after it ends, in the list already taken.
    ScopedHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
    if (process.IsValid()) {
        TerminateProcess(process.Get(), 1);
    }
    for (DWORD child : children) {
        TerminateTreeOnce(child, visited);
    }
}

// The job of the programs tied to the launcher, made on first use. Its handle is never closed
// and not inheritable, so the system closes it, and the job's kill-on-close ends every process
// in it, only when the launcher's process ends, however it ends. Null when no job can be made.
HANDLE LauncherJob() {
    static const HANDLE job = [] {
        HANDLE made = CreateJobObjectA(nullptr, nullptr);
        if (made == nullptr) {
            return made;
        }
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (!SetInformationJobObject(made, JobObjectExtendedLimitInformation, &limits,
                                     sizeof(limits))) {
            CloseHandle(made);
            made = nullptr;
        }
        return made;
    }();
    return job;
}

}  // namespace

bool ProcessLauncher::Launch(const std::string& program, const std::string& arguments,
                             LaunchWait wait, bool show, WindowSearch search,
                             const std::string& size, const std::string& processName) {
    const std::string commandLine = program + " " + arguments;
    const StartupShape shape = StartupShapeFor(show, size);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(shape.showState);
    if (shape.useSize) {
        startup.dwFlags |= STARTF_USESIZE;
        startup.dwXSize = shape.width;
        startup.dwYSize = shape.height;
    }

    std::string wanted;
    WindowSet before;
    if (search == WindowSearch::Handover) {
        wanted =
            processName.empty() ? FileNameOf(LongForm(ExecutablePathOf(commandLine))) : processName;
        before = TopLevelWindows();
    }

    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    PROCESS_INFORMATION created{};
    // A tied program starts suspended, so that it is in the job before it can start children
    // of its own (they then belong to the job too).
    const DWORD flags = NORMAL_PRIORITY_CLASS | (tied_ ? CREATE_SUSPENDED : 0);
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                        &startup, &created)) {
        ShowMessageBox(StartErrorText(GetLastError()), "Error", kMessageBoxIconInformation);
        return false;
    }
    ScopedHandle process(created.hProcess);
    ScopedHandle thread(created.hThread);
    if (tied_) {
        // Where the job cannot take it (the launcher itself runs in a job that forbids nesting),
        // the program runs untied; the next start's clean-up of abandoned runs still ends it.
        const HANDLE job = LauncherJob();
        if (job != nullptr) {
            AssignProcessToJobObject(job, created.hProcess);
        }
        ResumeThread(created.hThread);
    }

    HWND window = nullptr;
    if (search == WindowSearch::Handover) {
        DWORD owner = 0;
        if (PauseForHandover()) {
            window = FindHandoverWindow(before, TopLevelWindows(), wanted, owner);
        }
        if (window != nullptr) {
            processId_ = owner;
        }
    } else {
        processId_ = created.dwProcessId;
        window = FindDirectWindow(created.dwThreadId);
    }
    if (window != nullptr) {
        BringForward(window, created.dwThreadId);
        if (shape.width != 0 && shape.height != 0) {
            MoveWindow(window, 0, 0, static_cast<int>(shape.width), static_cast<int>(shape.height),
                       TRUE);
        }
    }

    if (wait == LaunchWait::UntilExit) {
        WaitForExit();
    } else if (wait != LaunchWait::None) {
        WaitForInputIdle(process.Get(), INFINITE);
    }
    return true;
}

bool ProcessLauncher::AskToEnd(std::uint32_t /*id*/) {
    // A hidden console program has no window to close and takes no signal.
    return false;
}

void ProcessLauncher::TerminateTree(std::uint32_t id) {
    std::set<DWORD> visited;
    TerminateTreeOnce(id, visited);
}
