#include "sys/thread.h"

#include "gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using testsupport::Gate;

namespace {

// What a worker's body did, kept outside the object so that it can be read after deletion.
struct Record {
    std::atomic<int> runs{0};
    std::atomic<int> returns{0};
    std::atomic<int> onKillCalls{0};
    Gate started;
};

// Follows the pattern of the launcher's own workers: a stop flag set by OnKill, a loop that
// pauses through Pause, and a destructor that stops the thread while its members still exist.
class Worker : public CThread {
public:
    Worker(Record& record, std::uint32_t result, unsigned long pauseMs = kWaitForever)
        : record_(record), result_(result), pauseMs_(pauseMs) {}
    ~Worker() override { StopAndWait(); }

    int StopFlag() const { return stop_; }

protected:
    std::uint32_t Run() override {
        ++record_.runs;
        record_.started.Open();
        while (stop_ == 0) {
            if (!Pause(pauseMs_)) {
                break;
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
    unsigned long pauseMs_;
    std::atomic<int> stop_{0};
};

// Returns its result as soon as the gate opens.
class OneShot : public CThread {
public:
    OneShot(Gate& gate, std::uint32_t result) : gate_(gate), result_(result) {}
    ~OneShot() override { StopAndWait(); }

    std::atomic<int> onKillCalls{0};

protected:
    std::uint32_t Run() override {
        gate_.WaitOpen();
        return result_;
    }
    void OnKill() override { ++onKillCalls; }

private:
    Gate& gate_;
    std::uint32_t result_;
};

TEST(ThreadLifeCycle, RunEndsTheThreadAndTheObjectCanStartAgain) {
    Gate gate;
    OneShot thread(gate, 7);
    EXPECT_EQ(thread.GetExitCode(), kNeverRunExitCode);
    EXPECT_FALSE(thread.GetHandle());

    thread.Start();
    EXPECT_TRUE(thread.IsAlive());
    EXPECT_EQ(thread.GetExitCode(), kStillActive);
    const ThreadHandle handle = thread.GetHandle();
    ASSERT_TRUE(handle);
    EXPECT_FALSE(handle.Wait(0));

    gate.Open();
    EXPECT_TRUE(handle.Wait());
    EXPECT_FALSE(thread.IsAlive());
    EXPECT_FALSE(thread.GetHandle());
    EXPECT_EQ(thread.GetExitCode(), 7u);

    thread.Start();
    EXPECT_TRUE(thread.GetHandle().Wait());
    EXPECT_FALSE(thread.IsAlive());
    EXPECT_EQ(thread.GetExitCode(), 7u);
    EXPECT_EQ(thread.onKillCalls, 0);
}

TEST(ThreadLifeCycle, StartOnARunningThreadRaisesAlreadyStartedAndLeavesItRunning) {
    Record record;
    Worker thread(record, 3);
    thread.Start();
    const ThreadHandle first = thread.GetHandle();

    try {
        thread.Start();
        FAIL() << "no exception";
    } catch (const CThreadException& e) {
        EXPECT_EQ(e.GetType(), CThreadException::kAlreadyStarted);
        EXPECT_EQ(e.GetText(), "Thread is already started!");
        EXPECT_STREQ(e.what(), "Thread is already started!");
        EXPECT_EQ(e.GetThread(), &thread);
    }
    EXPECT_TRUE(thread.IsAlive());
    EXPECT_FALSE(first.Wait(0));
    record.started.WaitOpen();
    EXPECT_EQ(record.runs, 1);
}

TEST(ThreadKill, KillOfARunningThreadCallsOnKillAndRunHasReturnedWhenItReturns) {
    Record record;
    Worker thread(record, 3);  // pauses without limit: only Kill can end it
    thread.Start();
    record.started.WaitOpen();
    const ThreadHandle handle = thread.GetHandle();

    thread.Kill(0, false);
    EXPECT_EQ(record.onKillCalls, 1);
    EXPECT_EQ(thread.StopFlag(), 1);
    EXPECT_EQ(record.returns, 1);
    EXPECT_TRUE(handle.Wait(0));
    EXPECT_FALSE(thread.IsAlive());
    EXPECT_FALSE(thread.GetHandle());
    EXPECT_EQ(thread.GetExitCode(), 0u);
}

TEST(ThreadKill, KillRecordsTheGivenExitCode) {
    Record record;
    Worker thread(record, 3, 5);
    thread.Start();
    record.started.WaitOpen();
    thread.Kill(42, true);
    EXPECT_EQ(thread.GetExitCode(), 42u);
    EXPECT_EQ(record.returns, 1);
}

TEST(ThreadKill, KillOfAnEndedThreadSetsTheExitCodeWithoutOnKill) {
    Gate gate;
    OneShot thread(gate, 7);
    thread.Start();
    gate.Open();
    ASSERT_TRUE(thread.GetHandle().Wait());
    ASSERT_EQ(thread.GetExitCode(), 7u);

    thread.Kill(0, true);
    EXPECT_EQ(thread.GetExitCode(), 0u);
    EXPECT_EQ(thread.onKillCalls, 0);
}

TEST(ThreadKill, KillOfANeverStartedThreadSetsTheExitCodeWithoutOnKill) {
    Record record;
    Worker thread(record, 3);
    thread.Kill(5, false);
    EXPECT_EQ(thread.GetExitCode(), 5u);
    EXPECT_EQ(record.onKillCalls, 0);
}

TEST(ThreadKill, DeletingARunningThreadStopsIt) {
    Record record;
    auto* thread = new Worker(record, 3);
    thread->Start();
    record.started.WaitOpen();
    const ThreadHandle handle = thread->GetHandle();

    delete thread;
    EXPECT_EQ(record.returns, 1);
    // The handle outlives the object and still tells that the thread has ended.
    EXPECT_TRUE(handle.Wait(0));
}

TEST(ThreadKill, PauseSleepsTheFullTimeOffAWorkerThread) {
    EXPECT_TRUE(CThread::Pause(1));
    EXPECT_FALSE(CThread::StopRequested());
}

TEST(ThreadPriority, SetPriorityNeedsARunningThread) {
    Record record;
    Worker thread(record, 3);
    EXPECT_EQ(thread.SetPriority(kThreadPriorityLowest), 0);

    thread.Start();
    EXPECT_NE(thread.SetPriority(kThreadPriorityLowest), 0);
    thread.StopAndWait();
    EXPECT_EQ(thread.SetPriority(kThreadPriorityLowest), 0);
}

TEST(ThreadHandleWait, AWaiterReturnsWhenTheThreadEndsByItself) {
    Gate gate;
    OneShot thread(gate, 9);
    thread.Start();
    std::atomic<bool> waited{false};
    std::thread waiter([handle = thread.GetHandle(), &waited] { waited = handle.Wait(); });

    gate.Open();
    waiter.join();
    EXPECT_TRUE(waited);
    EXPECT_EQ(thread.GetExitCode(), 9u);
}

TEST(ThreadHandleWait, AWaiterReturnsWhenTheThreadIsKilledAndDeleted) {
    Record record;
    auto* thread = new Worker(record, 3);
    thread->Start();
    record.started.WaitOpen();
    std::atomic<bool> waited{false};
    std::thread waiter([handle = thread->GetHandle(), &waited] { waited = handle.Wait(); });

    thread->StopAndWait();
    delete thread;
    waiter.join();
    EXPECT_TRUE(waited);
}

TEST(ThreadHandleWait, ANullHandleMeansNoThreadAndDoesNotBlock) {
    EXPECT_TRUE(ThreadHandle().Wait());
}

}  // namespace
