// The whole shell in running copies of a program (shell_host) whose server stack is a stand-in
// that logs what the shell asks of it: -shutdown, the single-instance guard, the close path, and
// the splash screen as a user sees it. On Linux the copies run without a display unless a test
// needs one, which is also how a headless machine runs the program.
#include <gtest/gtest.h>

#include <iterator>
#include <memory>

#include "child_process.h"
#include "desktop_probe.h"
#include "shell_host_support.h"
#include "shell_test_support.h"

using shelltest::ShellHostTest;
using testsupport::ChildProcess;

namespace {

// Copies that need no display of their own; on Linux they run without one.
class RunningCopiesTest : public ShellHostTest {
protected:
    shelltest::HeadlessCopies headless_;
};

const char kPlain[] = "ServerName=Demo Stack\r\nUseSplash=0\r\n";
const char kGuarded[] = "ServerName=Demo Stack\r\nUseSplash=0\r\nAllowOnlySingleInstance=1\r\n";

// A second copy, started while a first one runs (or after the first was killed).
TEST_F(RunningCopiesTest, SecondCopy) {
    enum Outcome { kClosesTheFirst, kFindsNoneToClose, kIsRefused, kStarts };
    const struct {
        const char* what;
        const char* first;  // the first copy's settings; null when none runs
        bool crash;         // the first copy is killed by force before the second starts
        const char* second;
        const char* argument;
        Outcome outcome;
    } rows[] = {
        {"-shutdown ends the running copy through its stop sequence",
         "ServerName=Demo Stack\r\nUseSplash=0\r\nShowTrayIcon=1\r\n"
         "ShowShutdownMessage=Closing {SERVER_NAME}\r\n",
         false, kPlain, "-shutdown", kClosesTheFirst},
        {"-shutdown without a running copy ends quietly", nullptr, false, kPlain, "-shutdown",
         kFindsNoneToClose},
        {"single instance: the user is told", kGuarded, false, kGuarded, "", kIsRefused},
        {"single instance comes before -shutdown", kGuarded, false, kGuarded, "-shutdown",
         kIsRefused},
        {"another name is not seen", kGuarded, false,
         "ServerName=Other Stack\r\nUseSplash=0\r\nAllowOnlySingleInstance=1\r\n", "", kStarts},
        {"a copy without the setting does not look", kGuarded, false, kPlain, "", kStarts},
        {"a crash of the first copy frees the name", kGuarded, true, kGuarded, "", kStarts},
    };
    for (size_t row = 0; row < std::size(rows); ++row) {
        const auto& r = rows[row];
        SCOPED_TRACE(r.what);
        const std::string first = Folder("first" + std::to_string(row), r.first ? r.first : "");
        std::unique_ptr<ChildProcess> running;
        if (r.first != nullptr) {
            running = StartRunning(first);
            ASSERT_NE(running, nullptr);
        }
        if (r.crash) {
            running.reset();
        }
        const std::string second = Folder("second" + std::to_string(row), r.second);
        auto copy = r.outcome == kStarts ? StartRunning(second) : Start(second, {r.argument});
        ASSERT_NE(copy, nullptr);
        if (r.outcome != kStarts) {
            if (r.outcome == kIsRefused) {
                EXPECT_EQ(shelltest::AnswerBox(*copy, second, "Demo Stack"),
                          "An instance of Demo Stack is already running");
            }
            // It ends having run no stop sequence of its own.
            EXPECT_TRUE(copy->WaitForEnd(60000));
            EXPECT_EQ(Count(second, "stop sequence"), 0);
            EXPECT_EQ(Events(second).back(), "process end 0");
        }
        EXPECT_EQ(Count(second, "start"), r.outcome == kStarts ? 1 : 0);
        if (running != nullptr) {
            const bool closed = r.outcome == kClosesTheFirst;
            EXPECT_EQ(running->WaitForEnd(closed ? 60000 : 0), closed);
            EXPECT_EQ(Count(first, "stop requested"), closed ? 1 : 0);
            EXPECT_EQ(Count(first, "stop sequence begin"), closed ? 1 : 0);
            EXPECT_EQ(Count(first, "stop sequence end"), closed ? 1 : 0);
            EXPECT_EQ(Events(first).back(), closed ? "process end 0" : "browser open");
        }
    }
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

    auto closer = Start(Folder("second", kPlain), {"-shutdown"});
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

// The splash screen of a running copy, as seen on the screen: the runner's progress moves a bar
// along its bottom edge only when ShowStartupProgress is on, and it goes before the browser comes.
class SplashShellHostTest : public ShellHostTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SplashShellHostTest, BarShowsOnlyWithStartupProgress) {
    if (!shelltest::SharedDisplay()) {
        GTEST_SKIP() << "the copies' windows are not on this test's screen";
    }
    const bool progress = GetParam();
    const std::string image = dir_ / "splash.bmp";
    shelltest::WriteBitmap(image, 400, 240, true);
    const std::string folder =
        Folder("splash", "ServerName=Demo Stack\r\nUseSplash=" + image +
                             "\r\nShowStartupProgress=" + (progress ? "1" : "0") + "\r\n");
    Cue(folder, "hold-splash");
    auto copy = Start(folder);
    ASSERT_NE(copy, nullptr);
    ASSERT_TRUE(WaitForEvent(folder, "progress sent"));

    const shelltest::Area place = shelltest::CentredOnWorkArea(400, 240);
    // Inside the image, away from the bar; and where the bar's filled part would be.
    const int imageX = place.left + 200;
    const int imageY = place.top + 100;
    const int barX = place.left + 20;
    const int barY = place.top + 240 - 12;
    auto pixel = [](int x, int y) { return shelltest::ScreenPixel(x, y); };
    ASSERT_TRUE(testsupport::Eventually([&] { return pixel(imageX, imageY) == 0xA02020; }))
        << std::hex << pixel(imageX, imageY);
    if (progress) {
        EXPECT_TRUE(testsupport::Eventually([&] { return pixel(barX, barY) != 0xA02020; }));
    } else {
        EXPECT_EQ(pixel(barX, barY), 0xA02020);
    }

    Cue(folder, "splash-release");
    ASSERT_TRUE(WaitForEvent(folder, "browser open"));
    EXPECT_NE(pixel(imageX, imageY), 0xA02020);
}

INSTANTIATE_TEST_SUITE_P(StartupProgress, SplashShellHostTest, ::testing::Bool());

}  // namespace
