#include "sys/thread.h"

#include "gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

using testsupport::Gate;

namespace {

// What a worker's body did, kept outside the object so that it can be read after deletion.
struct Record {
    std::atomic<int> runs{0};
    std::atomic<int> returns{0};
    std::atomic<int> onKillCalls{0};
    Gate started;
    Gate release;  // ends the run of a worker that ends by itself
};

// Follows the pattern of the launcher's own workers: a stop flag set by OnKill, a loop that
// pauses through Pause, and a destructor that stops the thread while its members still exist.
// It pauses until it is asked to stop or, when it ends by itself, waits until the record's
// release opens; then it returns `result`.
class Worker : public CThread {
public:
    Worker(Record& record, std::uint32_t result, bool endsByItself = false)
        : record_(record), result_(result), endsByItself_(endsByItself) {}
    ~Worker() override { StopAndWait(); }

    int StopFlag() const { return stop_; }

protected:
    std::uint32_t Run() override {
        ++record_.runs;
        record_.started.Open();
        if (endsByItself_) {
            record_.release.WaitOpen();
        } else {
            while (stop_ == 0 && Pause(kWaitForever)) {
            }
        }
        ++record_.returns;
        return result_;
    }
    void OnKill() override {
        ++record_.onKillCalls;
        stop_ = 1;
        CThread::OnKill();
    }

private:
    Record& record_;
    std::uint32_t result_;
    bool endsByItself_;
    std::atomic<int> stop_{0};
};

// A start while the thread runs raises kAlreadyStarted and leaves the run alone.
TEST(ThreadLifeCycle, RunEndsTheThreadAStartWhileItRunsIsRefusedAndTheObjectCanStartAgain) {
    Record record;
    Worker thread(record, 7, true);
    EXPECT_EQ(thread.GetExitCode(), kNeverRunExitCode);
    EXPECT_FALSE(thread.GetHandle());

    thread.Start();
    EXPECT_TRUE(thread.IsAlive());
    EXPECT_EQ(thread.GetExitCode(), kStillActive);
    EXPECT_NE(thread.SetPriority(kThreadPriorityLowest), 0);
    const ThreadHandle handle = thread.GetHandle();
    ASSERT_TRUE(handle);
    EXPECT_FALSE(handle.Wait(0));
    try {
        thread.Start();
        FAIL() << "no exception";
    } catch (const CThreadException& e) {
        EXPECT_EQ(e.GetType(), CThreadException::kAlreadyStarted);
        EXPECT_EQ(e.GetThread(), &thread);
    }
    EXPECT_TRUE(thread.IsAlive());
    EXPECT_FALSE(handle.Wait(0));
    record.started.WaitOpen();
    EXPECT_EQ(record.runs, 1);

    record.release.Open();
    EXPECT_TRUE(handle.Wait());
    EXPECT_FALSE(thread.IsAlive());
    EXPECT_FALSE(thread.GetHandle());
    EXPECT_EQ(thread.GetExitCode(), 7u);

    thread.Start();
    EXPECT_TRUE(thread.GetHandle().Wait());
    EXPECT_FALSE(thread.IsAlive());
    EXPECT_EQ(thread.GetExitCode(), 7u);
}

// Kill records the code it is given in every state; only a running thread is asked to stop, and
// Run has returned when Kill returns.
TEST(ThreadKill, RecordsTheGivenExitCodeAndStopsOnlyARunningThread) {
    enum class State { kNeverStarted, kRunning, kEnded };
    const struct {
        const char* what;
        State state;
        std::uint32_t code;
        bool lenient;
    } rows[] = {
        {"a running thread", State::kRunning, 0, false},
        {"a running thread, leniently", State::kRunning, 42, true},
        {"a thread that has ended", State::kEnded, 0, true},
        {"a thread never started", State::kNeverStarted, 5, false},
    };
    for (const auto& row : rows) {
        Record record;
        Worker thread(record, 3, row.state == State::kEnded);
        record.release.Open();
        if (row.state != State::kNeverStarted) {
            thread.Start();
            record.started.WaitOpen();
        }
        const ThreadHandle handle = thread.GetHandle();
        if (row.state == State::kEnded) {
            ASSERT_TRUE(handle.Wait()) << row.what;
            ASSERT_EQ(thread.GetExitCode(), 3u) << row.what;
        }
        thread.Kill(row.code, row.lenient);
        const bool running = row.state == State::kRunning;
        EXPECT_EQ(thread.GetExitCode(), row.code) << row.what;
        EXPECT_EQ(record.onKillCalls, running ? 1 : 0) << row.what;
        EXPECT_EQ(thread.StopFlag(), running ? 1 : 0) << row.what;
        EXPECT_EQ(record.returns, row.state == State::kNeverStarted ? 0 : 1) << row.what;
        EXPECT_TRUE(handle.Wait(0)) << row.what;
        EXPECT_FALSE(thread.IsAlive()) << row.what;
        EXPECT_FALSE(thread.GetHandle()) << row.what;
    }
}

// A waiter holds its own reference to the run: its wait ends when the thread does, also when the
// object is deleted under it. (A thread that ends by itself: the life-cycle case.)
TEST(ThreadHandleWait, AWaiterReturnsWhenARunningThreadIsDeleted) {
    Record record;
    auto thread = std::make_unique<Worker>(record, 3);
    thread->Start();
    record.started.WaitOpen();
    std::atomic<bool> waited{false};
    std::thread waiter([handle = thread->GetHandle(), &waited] { waited = handle.Wait(); });
    thread.reset();
    waiter.join();
    EXPECT_TRUE(waited);
    EXPECT_EQ(record.returns, 1);
    // A null handle stands for no thread: its wait returns at once.
    EXPECT_TRUE(ThreadHandle().Wait());
}

}  // namespace
