// Linux only: threads on pthreads. A thread's stop request is an eventfd that becomes readable
// once Kill asks; every wait of the thread polls it.
#include "sys/thread_run.h"

#include "sys/handles_posix.h"

#include <errno.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace {

struct PosixRun : ThreadRunBase {
    ScopedFd stopFd;
    std::mutex mutex;
    std::condition_variable changed;
    pid_t tid = 0;       // guarded by mutex
    bool ended = false;  // guarded by mutex
};

PosixRun& AsPosix(ThreadRunBase& run) {
    return static_cast<PosixRun&>(run);
}

void* ThreadEntry(void* arg) {
    auto& run = *static_cast<PosixRun*>(arg);
    {
        std::lock_guard<std::mutex> lock(run.mutex);
        run.tid = static_cast<pid_t>(syscall(SYS_gettid));
    }
    run.changed.notify_all();

    std::shared_ptr<ThreadRunBase> keep;
    RunThreadBody(run, keep);
    {
        std::lock_guard<std::mutex> lock(run.mutex);
        run.ended = true;
    }
    run.changed.notify_all();
    return nullptr;  // `keep` lets go of the run last
}

// Whether `fd` becomes readable within `ms` milliseconds (kWaitForever: no limit).
bool WaitReadable(int fd, unsigned long ms) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        int timeout = -1;
        if (ms != kWaitForever) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            timeout = left <= 0 ? 0 : static_cast<int>(left < INT_MAX ? left : INT_MAX);
        }
        pollfd entry{fd, POLLIN, 0};
        const int ready = poll(&entry, 1, timeout);
        if (ready > 0) {
            return true;
        }
        if (ready == 0 || errno != EINTR) {
            return false;
        }
    }
}

// Windows priorities as nice values: lowest (-2) is nice 10, idle is the weakest nice there is.
int NiceForPriority(int priority) {
    if (priority <= kThreadPriorityIdle) {
        return 19;
    }
    if (priority >= 15) {
        return -20;
    }
    return -5 * priority;
}

}  // namespace

std::shared_ptr<ThreadRunBase> NewThreadRun() {
    return std::make_shared<PosixRun>();
}

unsigned long LaunchThread(ThreadRunBase& run) {
    PosixRun& posix = AsPosix(run);
    posix.stopFd.Reset(eventfd(0, EFD_CLOEXEC));
    if (!posix.stopFd.IsValid()) {
        return static_cast<unsigned long>(errno);
    }
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    // Nobody joins: Kill and the handles wait for `ended` instead, which a thread ending by
    // itself can set for its own run.
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t id;
    const int error = pthread_create(&id, &attributes, ThreadEntry, &posix);
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        return static_cast<unsigned long>(error);
    }
    // SetPriority needs the tid right after Start.
    std::unique_lock<std::mutex> lock(posix.mutex);
    posix.changed.wait(lock, [&posix] { return posix.tid != 0; });
    return 0;
}

bool ThreadHasEnded(ThreadRunBase& run) {
    PosixRun& posix = AsPosix(run);
    std::lock_guard<std::mutex> lock(posix.mutex);
    return posix.ended;
}

bool WaitForThreadEnd(ThreadRunBase& run, unsigned long ms) {
    PosixRun& posix = AsPosix(run);
    std::unique_lock<std::mutex> lock(posix.mutex);
    if (ms == kWaitForever) {
        posix.changed.wait(lock, [&posix] { return posix.ended; });
        return true;
    }
    return posix.changed.wait_for(lock, std::chrono::milliseconds(ms),
                                  [&posix] { return posix.ended; });
}

void WakeThread(ThreadRunBase& run) {
    const std::uint64_t one = 1;
    const ssize_t written = ::write(AsPosix(run).stopFd.Get(), &one, sizeof one);
    static_cast<void>(written);  // a full counter is readable already
}

unsigned long EndThreadAfterStopRequest(ThreadRunBase& run, std::uint32_t) {
    WaitForThreadEnd(run, kWaitForever);
    return 0;
}

void WaitWhileForcing(ThreadRunBase&) {
    // Linux never ends a thread by force, so this is never reached for long.
    std::this_thread::yield();
}

bool WaitForStopRequest(ThreadRunBase& run, unsigned long ms) {
    return WaitReadable(AsPosix(run).stopFd.Get(), ms);
}

void SleepMilliseconds(unsigned long ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int SetThreadRunPriority(ThreadRunBase& run, int priority) {
    PosixRun& posix = AsPosix(run);
    std::lock_guard<std::mutex> lock(posix.mutex);
    return setpriority(PRIO_PROCESS, static_cast<id_t>(posix.tid), NiceForPriority(priority)) == 0
               ? 1
               : 0;
}

int CurrentThreadStopDescriptor() {
    ThreadRunBase* run = CurrentThreadRun();
    return run != nullptr ? AsPosix(*run).stopFd.Get() : -1;
}
