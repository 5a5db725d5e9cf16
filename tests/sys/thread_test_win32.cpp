// Windows only: the forced end of a thread that does not stop when asked.
#include "sys/thread.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>

namespace {

// Sleeps with a bare Sleep, which no stop request can cut short.
class Stubborn : public CThread {
public:
    explicit Stubborn(HANDLE started) : started_(started) {}
    ~Stubborn() override { StopAndWait(); }

protected:
    std::uint32_t Run() override {
        SetEvent(started_);
        Sleep(INFINITE);
        return 1;
    }

private:
    HANDLE started_;
};

TEST(ThreadKillWin32, AThreadThatIgnoresTheStopRequestIsTerminated) {
    HANDLE started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(started, nullptr);
    {
        Stubborn thread(started);
        thread.Start();
        ASSERT_EQ(WaitForSingleObject(started, INFINITE), WAIT_OBJECT_0);
        const ThreadHandle handle = thread.GetHandle();

        thread.Kill(5, false);
        EXPECT_TRUE(handle.Wait(0));
        EXPECT_FALSE(thread.IsAlive());
        EXPECT_EQ(thread.GetExitCode(), 5u);

        // The object is usable again after a forced end.
        thread.Start();
        EXPECT_TRUE(thread.IsAlive());
    }
    CloseHandle(started);
}

}  // namespace
