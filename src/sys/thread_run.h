// The inside of the thread framework, shared by thread.cpp and the platform files; nothing else
// includes it.
#pragma once

#include "sys/thread.h"

#include <atomic>
#include <cstdint>
#include <memory>

// One run of a CThread. It is shared by the object (while the run is current), by the running
// thread itself and by every ThreadHandle, and lives until the last of them lets go; the platform
// file derives its own record from it (thread handle and stop event, or tid and stop descriptor).
struct ThreadRunBase {
    enum Phase { kRunning, kBodyReturned, kForcing };

    virtual ~ThreadRunBase() = default;

    CThread* thread = nullptr;  // set before the thread starts, never changed
    std::atomic<bool> stopRequested{false};
    // Decides between a thread that returns from Run and a Kill that terminates it by force:
    // whichever moves it away from kRunning first wins (Windows only ever forces).
    std::atomic<int> phase{kRunning};
    // The running thread's own reference; taken back by the thread when it ends, or by Kill after
    // a forced end. Guarded by ThreadLock().
    std::shared_ptr<ThreadRunBase> threadRef;
};

// Runs the object's Run on the calling (new) thread and does the end-of-run bookkeeping; hands
// the thread's own reference to `keep`, so that the platform file can signal the end before the
// run may go away. Returns what Run returned.
std::uint32_t RunThreadBody(ThreadRunBase& run, std::shared_ptr<ThreadRunBase>& keep);

// The run of the calling thread; null off a CThread.
ThreadRunBase* CurrentThreadRun();

// Platform part.
std::shared_ptr<ThreadRunBase> NewThreadRun();
// Starts the thread of `run` (whose threadRef is set); 0, or the system's error code.
unsigned long LaunchThread(ThreadRunBase& run);
// Whether the thread of `run` has ended.
bool ThreadHasEnded(ThreadRunBase& run);
bool WaitForThreadEnd(ThreadRunBase& run, unsigned long ms);
// Wakes every Pause of the thread and every blocking call that watches its stop request.
void WakeThread(ThreadRunBase& run);
// Called by Kill after the stop request, outside the lock: returns once the thread has ended
// (Windows: terminating it by force after a grace period). 0, or the error code of a failed
// forced end, in which case the thread may still run.
unsigned long EndThreadAfterStopRequest(ThreadRunBase& run, std::uint32_t exitCode);
// While a forced end is under way, the thread that lost the race waits here for it.
void WaitWhileForcing(ThreadRunBase& run);
// True when a stop was requested within `ms` milliseconds.
bool WaitForStopRequest(ThreadRunBase& run, unsigned long ms);
void SleepMilliseconds(unsigned long ms);
int SetThreadRunPriority(ThreadRunBase& run, int priority);

#ifndef _WIN32
// The descriptor that becomes readable once Kill asks the calling CThread to stop; -1 off a
// CThread. Blocking socket calls poll it beside their socket.
int CurrentThreadStopDescriptor();
#endif
