// Worker threads: the CThread base class, its handle and its exception.
//
// Every worker thread of the launcher is an object of a class derived from CThread. The object
// owns one operating-system thread per run: Start creates it and runs Run on it; when Run returns
// the object is idle again and can be started anew.
//
// Stopping. No thread is ever killed in the middle of its work without being asked first: Kill
// calls OnKill (the subclass sets its stop flag there), wakes every Pause of the thread and every
// socket call it is blocked in (Linux), and waits until Run has returned. On Windows a thread that
// has not returned after a grace period is then terminated by force, as the last resort; on Linux
// no thread can be terminated safely, so Kill waits for it. Either way, when Kill returns, Run no
// longer runs. A thread body therefore sleeps only through Pause, never a bare sleep:
//
//     std::uint32_t Run() override {
//         while (stop_ == 0) {
//             DoOnePass();
//             if (!Pause(500)) break;
//         }
//         return 0;
//     }
//
// A subclass whose Run uses the subclass's own members calls StopAndWait in its own destructor:
// the base destructor's kill comes after those members are gone.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

class CThread;
struct ThreadRunBase;

// The exit code that GetExitCode reports while the thread runs (STILL_ACTIVE).
constexpr std::uint32_t kStillActive = 259;
// The exit code of an object that has never run.
constexpr std::uint32_t kNeverRunExitCode = 0xFFFFFFFE;
// A time-out without limit, for ThreadHandle::Wait and CThread::Pause.
constexpr unsigned long kWaitForever = 0xFFFFFFFF;

// Thread priorities in the Windows numbering; Linux maps them onto the thread's nice value.
constexpr int kThreadPriorityIdle = -15;
constexpr int kThreadPriorityLowest = -2;
constexpr int kThreadPriorityBelowNormal = -1;
constexpr int kThreadPriorityNormal = 0;
constexpr int kThreadPriorityAboveNormal = 1;
constexpr int kThreadPriorityHighest = 2;

// The text of the exception raised by Start on a running thread.
extern const char kThreadAlreadyStartedText[];

// What Start and a strict Kill raise (thrown by value).
class CThreadException : public std::exception {
public:
    enum Type {
        kNoType = 0,
        kCreateFailed = 1,     // the system could not create the thread; text from the system
        kAlreadyStarted = 2,   // Start on a running thread; kThreadAlreadyStartedText
        kTerminateFailed = 3,  // a strict Kill could not end the thread; text from the system
    };

    explicit CThreadException(CThread* thread) : thread_(thread) {}
    CThreadException(CThread* thread, std::string text, int type)
        : thread_(thread), text_(std::move(text)), type_(type) {}

    CThread* GetThread() const { return thread_; }
    const std::string& GetText() const { return text_; }
    int GetType() const { return type_; }
    const char* what() const noexcept override { return text_.c_str(); }

private:
    CThread* thread_ = nullptr;
    std::string text_;
    int type_ = kNoType;
};

// One run of a CThread, to wait for. A copy stays valid whatever happens to the thread object
// afterwards (the thread ends, is killed, is started again, or the object is deleted): a waiter
// holds its own reference to the run, so its wait always ends when that thread ends. A null
// handle stands for "no thread": waiting on it returns at once.
class ThreadHandle {
public:
    ThreadHandle() = default;

    explicit operator bool() const { return run_ != nullptr; }

    // Waits until the thread has ended, at most `ms` milliseconds; true when it has ended.
    bool Wait(unsigned long ms = kWaitForever) const;

private:
    friend class CThread;
    explicit ThreadHandle(std::shared_ptr<ThreadRunBase> run) : run_(std::move(run)) {}

    std::shared_ptr<ThreadRunBase> run_;
};

// The one process-wide, re-entrant lock of the thread framework. Start, Kill, IsAlive, the
// priority and exit-code queries and the end-of-run bookkeeping of every thread object run under
// it; so does OnKill, which therefore must not wait for a thread that needs it.
std::recursive_mutex& ThreadLock();

class CThread {
public:
    CThread() = default;
    // Kills a running thread leniently (any error swallowed). Only the base OnKill is reached
    // from here; see the note at the top of this file.
    virtual ~CThread();

    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // Creates the thread and runs Run on it. Raises CThreadException: kAlreadyStarted while a
    // thread of this object runs (that thread is left alone), kCreateFailed when the system
    // refuses.
    void Start();

    // Whether a thread of this object is running.
    bool IsAlive();

    // Stops the running thread (see the note at the top), then records `exitCode` as its exit
    // code and leaves the object idle. OnKill is called only when a thread was running. A strict
    // Kill (lenient false) raises kTerminateFailed when Windows cannot terminate the thread;
    // a lenient one never raises. Called from the thread's own body, it only asks for the stop.
    void Kill(std::uint32_t exitCode = 0, bool lenient = true);

    // Asks the running thread to stop and waits until Run has returned: the lenient Kill, with 0
    // as the exit code. Called from the thread's own body, it only asks for the stop.
    void StopAndWait() { Kill(0, true); }

    // Sets the running thread's priority (one of the kThreadPriority values); nonzero when set,
    // 0 when the system refuses or no thread runs (the value is not kept for a later Start).
    int SetPriority(int priority);

    // The current run, to wait for; null when no thread runs.
    ThreadHandle GetHandle();

    // kStillActive while a thread runs; otherwise what the last Run returned, or the code given
    // to the last Kill, or kNeverRunExitCode.
    std::uint32_t GetExitCode();

    // Sleeps `ms` milliseconds on the calling thread. On a CThread's own thread it returns early,
    // with false, once Kill has asked that thread to stop (and at once from then on); true when
    // the full time has passed.
    static bool Pause(unsigned long ms);

    // Whether Kill has asked the calling CThread to stop; false on any other thread.
    static bool StopRequested();

protected:
    // The thread body; its result becomes the thread's exit code.
    virtual std::uint32_t Run() = 0;
    // Called by Kill, under ThreadLock(), when it finds a running thread; before the wait.
    virtual void OnKill() {}

private:
    friend std::uint32_t RunThreadBody(ThreadRunBase& run, std::shared_ptr<ThreadRunBase>& keep);

    std::uint32_t exitCode_ = kNeverRunExitCode;
    std::shared_ptr<ThreadRunBase> run_;  // null while idle; guarded by ThreadLock()
};
