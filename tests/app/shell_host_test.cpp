// The whole shell in running copies of a program (shell_host) whose server stack is a stand-in
// that logs what the shell asks of it: the ways of ending, the single-instance guard, and the
// splash screen as a user sees it. On Linux the copies run without a display unless a test needs
// one, which is also how a headless machine runs the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <vector>

#include "child_process.h"
#include "desktop_probe.h"
#include "screenshot.h"
#include "shell_host_support.h"
#include "shell_test_support.h"

using shelltest::ShellHostTest;
using shelltest::WaitUntil;
using testsupport::ChildProcess;

namespace {

// Copies that need no display of their own; on Linux they run without one.
class RunningCopiesTest : public ShellHostTest {
protected:
    shelltest::HeadlessCopies headless_;
};

TEST_F(RunningCopiesTest, SecondCopyWithShutdownEndsTheRunningOneThroughItsStopSequence) {
    const std::string ini =
        "ServerName=Demo Stack\r\nUseSplash=0\r\nShowTrayIcon=1\r\n"
        "ShowShutdownMessage=Closing {SERVER_NAME}\r\n";
    const std::string first = Folder("first", ini);
    auto running = StartRunning(first);
    ASSERT_NE(running, nullptr);

    const std::string second = Folder("second", ini);
    auto closer = Start(second, {"-shutdown"});
    ASSERT_NE(closer, nullptr);
    EXPECT_TRUE(closer->WaitForEnd(60000));
    EXPECT_TRUE(running->WaitForEnd(60000));

    EXPECT_EQ(Count(first, "stop requested"), 1);
    EXPECT_EQ(Count(first, "stop sequence begin"), 1);
    EXPECT_EQ(Count(first, "stop sequence end"), 1);
    EXPECT_EQ(Events(first).back(), "process end 0");
    // The second copy started nothing and ran no stop sequence of its own.
    EXPECT_EQ(Count(second, "start"), 0);
    EXPECT_EQ(Count(second, "stop sequence"), 0);
    EXPECT_EQ(Events(second).back(), "process end 0");
}

TEST_F(RunningCopiesTest, ShutdownWithoutARunningCopyEndsQuietly) {
    const std::string folder = Folder("alone", "ServerName=Demo Stack\r\nUseSplash=0\r\n");
    auto copy = Start(folder, {"-shutdown"});
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(copy->WaitForEnd(60000));
    EXPECT_EQ(Count(folder, "start"), 0);
    EXPECT_EQ(Events(folder).back(), "process end 0");
}

TEST_F(RunningCopiesTest, SingleInstanceSecondCopyTellsTheUserAndEndsWithoutStarting) {
    const std::string ini = "ServerName=Demo Stack\r\nUseSplash=0\r\nAllowOnlySingleInstance=1\r\n";
    const std::string first = Folder("first", ini);
    auto running = StartRunning(first);
    ASSERT_NE(running, nullptr);

    // Also with -shutdown: the guard comes first, so the first copy is not closed.
    for (const char* extra : {"", "-shutdown"}) {
        const std::string second = Folder(std::string("second") + extra, ini);
        auto copy = Start(second, {extra});
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(shelltest::AnswerBox(*copy, second, "Demo Stack"),
                  "An instance of Demo Stack is already running")
            << extra;
        EXPECT_TRUE(copy->WaitForEnd(60000));
        EXPECT_EQ(Count(second, "start"), 0);
        EXPECT_EQ(Count(second, "stop requested"), 0);
        EXPECT_EQ(Events(second).back(), "process end 0");
    }
    EXPECT_FALSE(running->WaitForEnd(0));
    EXPECT_EQ(Count(first, "stop requested"), 0);
}

TEST_F(RunningCopiesTest, SingleInstanceCopiesWithDifferentNamesDoNotSeeEachOther) {
    auto first = StartRunning(
        Folder("first", "ServerName=Demo Stack\r\nUseSplash=0\r\nAllowOnlySingleInstance=1\r\n"));
    ASSERT_NE(first, nullptr);
    auto other = StartRunning(
        Folder("other", "ServerName=Other Stack\r\nUseSplash=0\r\nAllowOnlySingleInstance=1\r\n"));
    EXPECT_NE(other, nullptr);
    // A copy without the setting is not seen either, and does not look.
    auto unguarded = StartRunning(Folder("unguarded", "ServerName=Demo Stack\r\nUseSplash=0\r\n"));
    EXPECT_NE(unguarded, nullptr);
}

TEST_F(RunningCopiesTest, CrashOfTheFirstCopyFreesTheName) {
    const std::string ini = "ServerName=Demo Stack\r\nUseSplash=0\r\nAllowOnlySingleInstance=1\r\n";
    auto first = StartRunning(Folder("first", ini));
    ASSERT_NE(first, nullptr);
    first.reset();  // killed by force, as a crash ends it
    const std::string next = Folder("next", ini);
    auto copy = StartRunning(next);
    EXPECT_NE(copy, nullptr);
    EXPECT_EQ(Count(next, "start"), 1);
}

TEST_F(RunningCopiesTest, CloseWhileTheRunnerStopsWaitsForItsStopSequence) {
    const std::string first =
        Folder("first", "ServerName=Demo Stack\r\nUseSplash=0\r\nShowShutdownMessage=Closing\r\n");
    Cue(first, "hold-stop");
    auto running = StartRunning(first);
    ASSERT_NE(running, nullptr);
    // The browser ends: the runner's stop sequence begins and holds half way.
    Cue(first, "browser-closed");
    ASSERT_TRUE(WaitForEvent(first, "stop sequence holding"));

    auto closer =
        Start(Folder("second", "ServerName=Demo Stack\r\nUseSplash=0\r\n"), {"-shutdown"});
    ASSERT_NE(closer, nullptr);
    EXPECT_TRUE(closer->WaitForEnd(60000));
    ASSERT_TRUE(WaitForEvent(first, "stop requested"));
    // The close request has arrived, but the servers are still being stopped.
    EXPECT_FALSE(running->WaitForEnd(0));
    EXPECT_EQ(Count(first, "process end"), 0);

    Cue(first, "stop-release");
    EXPECT_TRUE(running->WaitForEnd(60000));
    EXPECT_EQ(Count(first, "stop sequence begin"), 1);
    EXPECT_LT(Position(first, "stop requested"), Position(first, "stop sequence end"));
    EXPECT_LT(Position(first, "stop sequence end"), Position(first, "stop returned"));
    EXPECT_EQ(Events(first).back(), "process end 0");
}

// The splash screen of a running copy, as seen on the screen: centred, and with a bar along its
// bottom edge only when ShowStartupProgress is on.
class SplashShellHostTest : public ShellHostTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SplashShellHostTest, BarShowsOnlyWithStartupProgress) {
    if (!shelltest::SharedDisplay()) {
        GTEST_SKIP() << "the copies' windows are not on this test's screen";
    }
    const bool progress = GetParam();
    const std::string folder = Folder("splash", "");
    const std::string image = folder + "splash.bmp";
    shelltest::WriteBitmap(image, 400, 240, true);
    testsupport::WriteFile(folder + "hub_config.ini",
                           "[General]\r\nServerName=Demo Stack\r\nUseSplash=" + image +
                               "\r\nShowStartupProgress=" + (progress ? "1" : "0") + "\r\n");
    Cue(folder, "hold-splash");
    auto copy = Start(folder);
    ASSERT_NE(copy, nullptr);
    ASSERT_TRUE(WaitForEvent(folder, "progress sent"));

    const shelltest::Area area = shelltest::DesktopWorkArea();
    const int left = (area.left + area.right - 400) / 2;
    const int top = (area.top + area.bottom - 240) / 2;
    // Inside the image, away from the bar; and where the bar's filled part would be.
    const int imageX = left + 200;
    const int imageY = top + 100;
    const int barX = left + 20;
    const int barY = top + 240 - 12;
    ASSERT_TRUE(WaitUntil([&] { return shelltest::ScreenPixel(imageX, imageY) == 0xA02020; }))
        << std::hex << shelltest::ScreenPixel(imageX, imageY);
    if (progress) {
        EXPECT_TRUE(WaitUntil([&] { return shelltest::ScreenPixel(barX, barY) != 0xA02020; }));
        shelltest::SaveScreenshot(left - 20, top - 20, 440, 280, "program-splash-progress");
    } else {
        EXPECT_EQ(shelltest::ScreenPixel(barX, barY), 0xA02020);
    }

    // The runner closes it before the browser comes.
    Cue(folder, "splash-release");
    ASSERT_TRUE(WaitForEvent(folder, "browser open"));
    EXPECT_NE(shelltest::ScreenPixel(imageX, imageY), 0xA02020);
}

INSTANTIATE_TEST_SUITE_P(StartupProgress, SplashShellHostTest, ::testing::Bool());

}  // namespace
