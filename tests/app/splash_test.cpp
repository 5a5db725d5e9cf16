// The splash window: its place, its progress bar fed from other threads, and the boxes that come
// above it while the stack starts.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/message_box.h"
#include "app/splash.h"
#include "desktop_probe.h"
#include "shell_test_support.h"

using shelltest::LookAt;
using shelltest::OffUiThread;
using shelltest::PumpUntil;
using shelltest::ShellWindow;

namespace {

class SplashWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { SplashScreen::StartImageLibrary(); }

    // Shows `splash` with an image of `width` x `height`.
    void Show(SplashScreen& splash, int width, int height) {
        const std::string file = dir_ / "splash.bmp";
        shelltest::WriteBitmap(file, width, height);
        ASSERT_TRUE(splash.LoadSplashImage(file));
        splash.Start();
    }

    testsupport::TempDir dir_;
};

// A frameless window above all others, centred on the work area also when the image is larger
// than it, without a bar until the first progress; closed from another thread, it goes.
TEST_F(SplashWindowTest, IsCentredAboveTheOtherWindowsUntilClosed) {
    const shelltest::Area area = shelltest::DesktopWorkArea();
    const struct {
        const char* what;
        int width;
        int height;
    } images[] = {
        {"small image", 320, 200},
        {"larger image", area.right - area.left + 200, area.bottom - area.top + 100},
    };
    for (const auto& image : images) {
        SCOPED_TRACE(image.what);
        SplashScreen splash;
        Show(splash, image.width, image.height);
        const shelltest::WindowLook look = LookAt(ShellWindow::kSplash);
        ASSERT_TRUE(look.shown);
        EXPECT_EQ(look.rect, shelltest::CentredOnWorkArea(image.width, image.height));
        EXPECT_TRUE(look.topmostWithoutFrame);
        EXPECT_FALSE(look.hasBar);
#ifdef _WIN32
        // A thread of its own keeps it painting while the start-up blocks.
        EXPECT_TRUE(look.ownThread);
#endif
        OffUiThread([&] { splash.Close(); });
        EXPECT_FALSE(LookAt(ShellWindow::kSplash).shown);
    }
}

TEST_F(SplashWindowTest, FirstProgressMakesTheBarAlongTheBottomAndLaterOnesMoveIt) {
    SplashScreen splash;
    Show(splash, 400, 240);
    OffUiThread([&] { splash.SetProgress(0); });
    ASSERT_TRUE(PumpUntil([] { return LookAt(ShellWindow::kSplash).hasBar; }));
    const shelltest::WindowLook look = LookAt(ShellWindow::kSplash);
    EXPECT_EQ(look.bar, (shelltest::Area{4, 240 - 20, 400 - 4, 240 - 4}));
    EXPECT_EQ(look.barValue, 0);
    EXPECT_EQ(look.barMaximum, 100);
    for (int percent : {5, 60, 100}) {
        OffUiThread([&] { splash.SetProgress(percent); });
        EXPECT_TRUE(PumpUntil([&] { return LookAt(ShellWindow::kSplash).barValue == percent; }));
    }
    shelltest::KeepScreenshot(ShellWindow::kSplash, "splash-progress");
}

// An unreadable file still gives an image, and a window of no size, which is the same as none;
// progress and close before the start do nothing.
TEST_F(SplashWindowTest, WithoutImageOrStartNothingShows) {
    SplashScreen unstarted;
    OffUiThread([&] {
        unstarted.SetProgress(50);
        unstarted.Close();
    });
    SplashScreen unreadable;
    EXPECT_TRUE(unreadable.LoadSplashImage(dir_ / "no-such.bmp"));
    unreadable.Start();
    OffUiThread([&] { unreadable.SetProgress(50); });
    EXPECT_FALSE(LookAt(ShellWindow::kSplash).shown);
}

// A box from another thread (a refused port, a server that died) comes above the splash; its
// caller waits for the answer while the UI thread keeps turning.
TEST_F(SplashWindowTest, ABoxFromAnotherThreadShowsAboveItWhileTheCallerWaits) {
    SplashScreen splash;
    Show(splash, 320, 200);
    std::atomic<int> result{0};
    std::thread caller(
        [&] { result = ShowShellMessageBox("Port is already in use", "Error", kBoxOk); });
    int resultWhileShown = -1;
    const shelltest::BoxLook box =
        shelltest::AnswerOwnBox("Error", [&] { resultWhileShown = result; });
    caller.join();
    EXPECT_EQ(box.text, "Port is already in use");
    EXPECT_TRUE(box.aboveSplash);
    EXPECT_EQ(resultWhileShown, 0);
    EXPECT_EQ(result, 1);
}

}  // namespace
