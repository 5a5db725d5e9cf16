#include "sys/wait_process_end.h"

#include "sys/process_list.h"

#include "child_process.h"
#include "idle_helper.h"

#include <gtest/gtest.h>

using testsupport::ChildProcess;
using testsupport::IdleHelper;

namespace {

// Generous bounds that only keep a broken watcher from hanging the run; how quickly the watcher
// answers is measured by the benchmark.
constexpr unsigned long kEndTimeoutMs = 60000;
// No system hands out this id: Windows ids are multiples of 4, Linux ids stay below 2^22.
constexpr std::uint32_t kNoSuchProcess = 0xFFFFFFF1u;

// A kill stops a watcher of a running process and leaves the process alone.
TEST(WaitProcessEnd, KeepsWatchingWhileTheProcessRunsAndEndsAfterItOrWhenKilled) {
    IdleHelper helper;
    ChildProcess child;
    ASSERT_TRUE(helper.Start(child));

    CWaitProcessEnd live(child.Id());
    CWaitProcessEnd gone(kNoSuchProcess);
    live.Start();
    gone.Start();
    EXPECT_NE(live.SetPriority(kThreadPriorityLowest), 0);

    // The watcher of the missing id ends after its first walk and one pause; by then the
    // watcher of the live process has walked as often and must still be watching, and still be
    // so after more of its own walks.
    ASSERT_TRUE(gone.GetHandle().Wait(kEndTimeoutMs));
    EXPECT_EQ(gone.GetExitCode(), 0u);
    const ThreadHandle watching = live.GetHandle();
    EXPECT_FALSE(watching.Wait(2 * CWaitProcessEnd::kPollMs));

    CWaitProcessEnd stopped(child.Id());
    stopped.Start();
    const ThreadHandle stopping = stopped.GetHandle();
    stopped.StopAndWait();
    EXPECT_TRUE(stopping.Wait(0));
    EXPECT_FALSE(stopped.IsAlive());
    EXPECT_FALSE(child.WaitForEnd(0));

    ASSERT_EQ(KillProcessByName(helper.Name()), kKillDone);
    ASSERT_TRUE(child.WaitForEnd(kEndTimeoutMs));
    EXPECT_TRUE(watching.Wait(kEndTimeoutMs));
    EXPECT_FALSE(live.IsAlive());
    EXPECT_EQ(live.GetExitCode(), 0u);
}

}  // namespace
