#include "sys/thread.h"

#include "sys/error_text.h"
#include "sys/thread_run.h"

const char kThreadAlreadyStartedText[] = "Thread is already started!";

namespace {

thread_local ThreadRunBase* tCurrentRun = nullptr;

}  // namespace

std::recursive_mutex& ThreadLock() {
    // Never destroyed: threads may still end while static objects are torn down at exit.
    static auto* lock = new std::recursive_mutex;
    return *lock;
}

ThreadRunBase* CurrentThreadRun() {
    return tCurrentRun;
}

std::uint32_t RunThreadBody(ThreadRunBase& run, std::shared_ptr<ThreadRunBase>& keep) {
    tCurrentRun = &run;
    CThread* self = run.thread;
    const std::uint32_t code = self->Run();

    int expected = ThreadRunBase::kRunning;
    while (!run.phase.compare_exchange_strong(expected, ThreadRunBase::kBodyReturned)) {
        // A Kill is terminating this thread by force. Touch no lock it could die holding.
        WaitWhileForcing(run);
        expected = ThreadRunBase::kRunning;
    }

    std::lock_guard<std::recursive_mutex> lock(ThreadLock());
    // A Kill under way does the bookkeeping itself once this thread has ended, with its own
    // exit code; so does a Kill from the body, which has done it already.
    if (!run.stopRequested && self->run_.get() == &run) {
        self->run_.reset();
        self->exitCode_ = code;
    }
    keep = std::move(run.threadRef);
    tCurrentRun = nullptr;
    return code;
}

bool ThreadHandle::Wait(unsigned long ms) const {
    return run_ == nullptr || WaitForThreadEnd(*run_, ms);
}

CThread::~CThread() {
    try {
        if (IsAlive()) {
            StopAndWait();
        }
    } catch (...) {
        // A dying object has nobody to report to.
    }
    std::lock_guard<std::recursive_mutex> lock(ThreadLock());
    run_.reset();
}

void CThread::Start() {
    std::lock_guard<std::recursive_mutex> lock(ThreadLock());
    if (IsAlive()) {
        throw CThreadException(this, kThreadAlreadyStartedText, CThreadException::kAlreadyStarted);
    }
    run_.reset();
    std::shared_ptr<ThreadRunBase> run = NewThreadRun();
    run->thread = this;
    run->threadRef = run;
    // The new thread's bookkeeping waits for this lock, so it always finds run_ set.
    if (const unsigned long error = LaunchThread(*run); error != 0) {
        run->threadRef.reset();
        TraceSystemError("Thread start", error);
        throw CThreadException(this, SystemErrorText(error), CThreadException::kCreateFailed);
    }
    run_ = std::move(run);
}

bool CThread::IsAlive() {
    std::lock_guard<std::recursive_mutex> lock(ThreadLock());
    return run_ != nullptr && !ThreadHasEnded(*run_);
}

void CThread::Kill(std::uint32_t exitCode, bool lenient) {
    std::unique_lock<std::recursive_mutex> lock(ThreadLock());
    if (run_ == nullptr) {
        exitCode_ = exitCode;
        return;
    }
    std::shared_ptr<ThreadRunBase> run = run_;
    // The subclass's flag first, so that a body woken from its Pause sees it.
    OnKill();
    run->stopRequested = true;
    WakeThread(*run);

    if (run.get() == tCurrentRun) {
        // Kill from the thread's own body cannot wait for that body to return.
        run_.reset();
        exitCode_ = exitCode;
        return;
    }

    lock.unlock();
    const unsigned long error = EndThreadAfterStopRequest(*run, exitCode);
    lock.lock();

    if (ThreadHasEnded(*run)) {
        // A thread ended by force never took its own reference back.
        run->threadRef.reset();
    }
    if (error != 0) {
        TraceSystemError("Thread end", error);
        if (!lenient) {
            throw CThreadException(this, SystemErrorText(error),
                                   CThreadException::kTerminateFailed);
        }
    }
    if (run_ == run) {
        run_.reset();
        exitCode_ = exitCode;
    }
}

int CThread::SetPriority(int priority) {
    std::lock_guard<std::recursive_mutex> lock(ThreadLock());
    return run_ != nullptr ? SetThreadRunPriority(*run_, priority) : 0;
}

ThreadHandle CThread::GetHandle() {
    std::lock_guard<std::recursive_mutex> lock(ThreadLock());
    return ThreadHandle(run_);
}

std::uint32_t CThread::GetExitCode() {
    std::lock_guard<std::recursive_mutex> lock(ThreadLock());
    return IsAlive() ? kStillActive : exitCode_;
}

bool CThread::Pause(unsigned long ms) {
    ThreadRunBase* run = tCurrentRun;
    if (run == nullptr) {
        SleepMilliseconds(ms);
        return true;
    }
    return !WaitForStopRequest(*run, ms);
}

bool CThread::StopRequested() {
    const ThreadRunBase* run = tCurrentRun;
    return run != nullptr && run->stopRequested;
}
