// Windows only: CreateProcessA, the job of the tied programs, finding the new program's window,
// bringing it forward and sizing it.
#include "sys/launcher.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "sys/handles_win32.h"
#include "sys/launcher_detail.h"
#include "sys/process_detail.h"

namespace {

// The executable's long form when it exists (an 8.3 path names the same file under another
// name), else the path as written.
std::string LongForm(const std::string& path) {
    char buffer[MAX_PATH] = {};
    const DWORD length = GetLongPathNameA(path.c_str(), buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(buffer, length) : path;
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

struct OwnerSearch {
    DWORD process = 0;
    HWND found = nullptr;
};

// The first visible, titled top-level window of a process.
BOOL CALLBACK CheckOwnerWindow(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<OwnerSearch*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char title[2] = {};
    if (owner != search->process || !IsWindowVisible(window) ||
        GetWindowTextA(window, title, sizeof(title)) == 0) {
        return TRUE;
    }
    search->found = window;
    return FALSE;
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

// Brings the window forward and gives it the asked size at the top left corner.
void Place(HWND window, DWORD programThread, const StartupShape& shape) {
    BringForward(window, programThread);
    if (shape.width != 0 && shape.height != 0) {
        MoveWindow(window, 0, 0, static_cast<int>(shape.width), static_cast<int>(shape.height),
                   TRUE);
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

int ProcessLauncher::Create(const std::string& commandLine, const LaunchOptions& options,
                            Process& created) {
    const StartupShape shape = StartupShapeFor(options.show, options.size);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(shape.showState);
    if (shape.useSize) {
        startup.dwFlags |= STARTF_USESIZE;
        startup.dwXSize = shape.width;
        startup.dwYSize = shape.height;
    }

    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    // The launcher's environment as it is, unless the launch brings variables of its own.
    std::vector<char> environment;
    if (!options.environment.empty()) {
        std::vector<std::string> inherited;
        if (char* block = GetEnvironmentStringsA()) {
            for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) {
                inherited.emplace_back(entry);
            }
            FreeEnvironmentStringsA(block);
        }
        for (const std::string& entry : MergeEnvironment(inherited, options.environment)) {
            environment.insert(environment.end(), entry.begin(), entry.end());
            environment.push_back('\0');
        }
        environment.push_back('\0');
    }
    PROCESS_INFORMATION made{};
    // A tied program starts suspended, so that it is in the job before it can start children
    // of its own (they then belong to the job too).
    const DWORD flags = NORMAL_PRIORITY_CLASS | (options.tied ? CREATE_SUSPENDED : 0);
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, flags,
                        environment.empty() ? nullptr : environment.data(), nullptr, &startup,
                        &made)) {
        return static_cast<int>(GetLastError());
    }
    created = HoldChild(made.dwProcessId, made.hProcess);
    const ScopedHandle thread(made.hThread);
    if (options.tied) {
        // Where the job cannot take it (the launcher itself runs in a job that forbids nesting),
        // the program runs untied; the next start's clean-up of abandoned runs still ends it.
        const HANDLE job = LauncherJob();
        if (job != nullptr) {
            AssignProcessToJobObject(job, made.hProcess);
        }
        // A program that cannot be resumed would stay suspended for ever.
        if (ResumeThread(made.hThread) == static_cast<DWORD>(-1)) {
            const int error = static_cast<int>(GetLastError());
            created.TerminateTree();
            created = Process();
            return error;
        }
    }
    if (options.search == WindowSearch::Direct) {
        if (HWND window = FindDirectWindow(made.dwThreadId)) {
            Place(window, made.dwThreadId, shape);
        }
        if (options.wait == LaunchWait::UntilIdle) {
            WaitForInputIdle(made.hProcess, INFINITE);
        }
    }
    return 0;
}

std::string HandoverName(const std::string& commandLine, const std::string& processName) {
    return processName.empty() ? FileNameOf(LongForm(ExecutablePathOf(commandLine))) : processName;
}

bool PlaceWindow(const Process& process, const LaunchOptions& options) {
    OwnerSearch search;
    search.process = process.id();
    EnumWindows(CheckOwnerWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) {
        return false;
    }
    Place(search.found, GetWindowThreadProcessId(search.found, nullptr),
          StartupShapeFor(options.show, options.size));
    return true;
}
