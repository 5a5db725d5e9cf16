// The single-instance guard within one process: the name a first copy holds, seen by a second
// checker of the same name only. Across processes (and after a crash) see shell_host_test.cpp.
#include <gtest/gtest.h>

#include <memory>

#include "app/instance_checker.h"
#include "desktop_probe.h"
#include "shell_test_support.h"
#include "sys/process.h"

namespace {

TEST(InstanceChecker, FirstCopyHoldsTheNameForCheckersOfThatNameOnly) {
    AppSettings settings;
    shelltest::RecordingProgram program;
    auto frame = std::make_unique<CMainFrame>(settings, program);
    ASSERT_TRUE(frame->Create());

    const std::string name = "trh_mutex_Demo " + std::to_string(Process::CurrentId());
    auto first = std::make_unique<CInstanceChecker>(name);
    EXPECT_FALSE(first->IsAnotherInstanceRunning());
    EXPECT_FALSE(first->ActivateFirstInstance());
    ASSERT_TRUE(first->RegisterAsFirstInstance(*frame));
    // The name outlives the checker that took it.
    first.reset();

    CInstanceChecker second(name);
    EXPECT_TRUE(second.IsAnotherInstanceRunning());
    EXPECT_FALSE(second.RegisterAsFirstInstance(*frame));
    EXPECT_TRUE(second.ActivateFirstInstance());

    CInstanceChecker other(name + " other");
    EXPECT_FALSE(other.IsAnotherInstanceRunning());
    EXPECT_FALSE(other.ActivateFirstInstance());

    // A request that comes once the frame is gone finds nothing to bring forward (and touches
    // nothing of the frame, which the sanitizers would report).
    frame.reset();
    second.ActivateFirstInstance();
    shelltest::HandleRequestsSent();
    shelltest::DrainUi();
    EXPECT_EQ(program.stops, 1);
}

}  // namespace
