// Linux: the ways of ending that reach the frame from outside.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <functional>

#include "app/local_endpoint.h"
#include "desktop_probe.h"
#include "shell_test_support.h"

using shelltest::FrameTest;
using shelltest::RecordingProgram;

namespace {

std::string OwnFrameName() {
    return "Untitled - RM_HUB/" + std::to_string(getpid());
}

// A second copy's request on the frame's endpoint, Ctrl+C, the end of the session, kill: each is
// one close that stops the program off the UI thread and ends the frame. Other lines are no close.
TEST_F(FrameTest, AnotherCopyOrAnEndSignalClosesTheFrame) {
    const struct {
        const char* what;
        std::function<bool()> request;
        bool closes;
    } requests[] = {
        {"another line", [] { return SendToEndpoint(OwnFrameName(), "CLOSE now"); }, false},
        {"-shutdown of another copy", [] { return SendToEndpoint(OwnFrameName(), "close"); }, true},
        {"SIGINT", [] { return raise(SIGINT) == 0; }, true},
        {"SIGTERM", [] { return raise(SIGTERM) == 0; }, true},
        {"SIGHUP", [] { return raise(SIGHUP) == 0; }, true},
    };
    for (const auto& r : requests) {
        SCOPED_TRACE(r.what);
        frame_.reset();
        shelltest::DrainUi();
        program_.stops = 0;
        ASSERT_TRUE(CreateFrame());
        // The -shutdown search passes over this process's own frame.
        EXPECT_FALSE(ShutdownRunningInstance());
        bool sent = false;
        shelltest::OffUiThread([&] { sent = r.request(); });
        EXPECT_TRUE(sent);
        if (!r.closes) {
            shelltest::HandleRequestsSent();
            // No close began: the frame's own end runs the stop, here on the UI thread.
            EXPECT_TRUE(frame_->Exists());
            frame_->Destroy();
            EXPECT_EQ(program_.stopThread, RecordingProgram::CurrentThread());
            continue;
        }
        EXPECT_TRUE(shelltest::LoopEnds());
        EXPECT_EQ(program_.stops, 1);
        EXPECT_NE(program_.stopThread, RecordingProgram::CurrentThread());
        EXPECT_TRUE(FindEndpoints(OwnFrameName()).empty());
    }
}

}  // namespace
