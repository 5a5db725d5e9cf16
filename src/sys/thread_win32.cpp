// Windows only: threads on CreateThread. A thread's stop request is a manual-reset event that
// every Pause of the thread waits on; a thread that does not end after the grace period is
// terminated by force.
#include "sys/thread_run.h"

#include "sys/handles_win32.h"

namespace {

// How long Kill lets a thread end by itself before it terminates it. Thread bodies that pause
// through CThread::Pause end within milliseconds; what is still running after this is stuck in
// a call that cannot be woken (a socket call, a file copy).
constexpr DWORD kKillGraceMs = 1000;

struct Win32Run : ThreadRunBase {
    ScopedHandle thread;
    ScopedHandle stopEvent;
};

Win32Run& AsWin32(ThreadRunBase& run) {
    return static_cast<Win32Run&>(run);
}

DWORD WINAPI ThreadEntry(void* arg) {
    auto& run = *static_cast<Win32Run*>(arg);
    std::shared_ptr<ThreadRunBase> keep;
    // The handle is signalled when this function has returned, after `keep` let go.
    return RunThreadBody(run, keep);
}

}  // namespace

std::shared_ptr<ThreadRunBase> NewThreadRun() {
    return std::make_shared<Win32Run>();
}

unsigned long LaunchThread(ThreadRunBase& base) {
    Win32Run& run = AsWin32(base);
    run.stopEvent.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!run.stopEvent.IsValid()) {
        return GetLastError();
    }
    run.thread.Reset(CreateThread(nullptr, 0, ThreadEntry, &run, 0, nullptr));
    if (!run.thread.IsValid()) {
        return GetLastError();
    }
    return 0;
}

bool ThreadHasEnded(ThreadRunBase& run) {
    return WaitForSingleObject(AsWin32(run).thread.Get(), 0) == WAIT_OBJECT_0;
}

bool WaitForThreadEnd(ThreadRunBase& run, unsigned long ms) {
    return WaitForSingleObject(AsWin32(run).thread.Get(), ms) == WAIT_OBJECT_0;
}

void WakeThread(ThreadRunBase& run) {
    SetEvent(AsWin32(run).stopEvent.Get());
}

unsigned long EndThreadAfterStopRequest(ThreadRunBase& base, std::uint32_t exitCode) {
    Win32Run& run = AsWin32(base);
    if (WaitForSingleObject(run.thread.Get(), kKillGraceMs) == WAIT_OBJECT_0) {
        return 0;
    }
    int expected = ThreadRunBase::kRunning;
    if (!run.phase.compare_exchange_strong(expected, ThreadRunBase::kForcing)) {
        // Run has just returned; the thread is finishing its bookkeeping and will end.
        WaitForSingleObject(run.thread.Get(), INFINITE);
        return 0;
    }
    if (!TerminateThread(run.thread.Get(), exitCode)) {
        const DWORD error = GetLastError();
        run.phase = ThreadRunBase::kRunning;
        return error;
    }
    // TerminateThread returns before the thread is gone.
    WaitForSingleObject(run.thread.Get(), INFINITE);
    return 0;
}

void WaitWhileForcing(ThreadRunBase& run) {
    while (run.phase == ThreadRunBase::kForcing) {
        Sleep(1);
    }
}

bool WaitForStopRequest(ThreadRunBase& run, unsigned long ms) {
    return WaitForSingleObject(AsWin32(run).stopEvent.Get(), ms) == WAIT_OBJECT_0;
}

void SleepMilliseconds(unsigned long ms) {
    Sleep(ms);
}

int SetThreadRunPriority(ThreadRunBase& run, int priority) {
    return SetThreadPriority(AsWin32(run).thread.Get(), priority) ? 1 : 0;
}
