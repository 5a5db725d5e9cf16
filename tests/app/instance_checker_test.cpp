// The single-instance guard within one process: the name a first copy holds, seen by a second
// checker of the same name only. Across processes (and after a crash) see shell_host_test.cpp.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/instance_checker.h"
#include "app/main_frame.h"
#include "config/settings.h"
#include "shell_test_support.h"

#ifdef _WIN32
#include <process.h>
#define TEST_PID _getpid()
#else
#include <unistd.h>
#define TEST_PID getpid()
#endif

namespace {

std::string UniqueName(const std::string& serverName) {
    static int counter = 0;
    return "trh_mutex_" + serverName + "_" + std::to_string(TEST_PID) + "_" +
           std::to_string(++counter);
}

TEST(InstanceChecker, FirstCopyHoldsTheNameForCheckersOfThatNameOnly) {
    AppSettings settings;
    shelltest::RecordingProgram program;
    CMainFrame frame(settings, program);
    ASSERT_TRUE(frame.Create());

    const std::string name = UniqueName("Demo");
    const std::string otherName = UniqueName("Other");
    auto first = std::make_unique<CInstanceChecker>(name);
    EXPECT_FALSE(first->IsAnotherInstanceRunning());
    EXPECT_FALSE(first->ActivateFirstInstance());
    ASSERT_TRUE(first->RegisterAsFirstInstance(frame));
    // The name outlives the checker that took it.
    first.reset();

    CInstanceChecker second(name);
    EXPECT_TRUE(second.IsAnotherInstanceRunning());
    EXPECT_FALSE(second.RegisterAsFirstInstance(frame));
    EXPECT_TRUE(second.ActivateFirstInstance());

    CInstanceChecker other(otherName);
    EXPECT_FALSE(other.IsAnotherInstanceRunning());
    EXPECT_FALSE(other.ActivateFirstInstance());
    frame.Destroy();
}

}  // namespace
