// Windows: the splash window on its own thread, its place and its progress bar.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <thread>

#include "app/message_box.h"
#include "app/splash.h"
#include "screenshot.h"
#include "shell_test_support.h"
#include "win32_test_support.h"

using shelltest::FindTopWindow;
using shelltest::WaitUntil;
using shelltest::WorkArea;

namespace {

class SplashWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { SplashScreen::StartImageLibrary(); }

    // Shows a splash screen for an image of `width` x `height`; its window, or null.
    HWND Show(SplashScreen& splash, int width, int height) {
        const std::string file = dir_ / "splash.bmp";
        shelltest::WriteBitmap(file, width, height);
        if (!splash.LoadSplashImage(file)) {
            return nullptr;
        }
        splash.Start();
        return FindTopWindow("SplashWnd");
    }

    static HWND Bar(HWND splash) {
        return FindWindowExA(splash, nullptr, PROGRESS_CLASSA, nullptr);
    }

    testsupport::TempDir dir_;
};

TEST_F(SplashWindowTest, SmallImageIsCentredOnTheWorkAreaInATopmostPopupWithoutBar) {
    SplashScreen splash;
    HWND window = Show(splash, 320, 200);
    ASSERT_NE(window, nullptr);
    const RECT area = WorkArea();
    RECT rect{};
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, (area.left + area.right - 320) / 2);
    EXPECT_EQ(rect.top, (area.top + area.bottom - 200) / 2);
    EXPECT_EQ(rect.right - rect.left, 320);
    EXPECT_EQ(rect.bottom - rect.top, 200);
    EXPECT_TRUE(IsWindowVisible(window));
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & WS_CAPTION);
    EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    // The splash window belongs to a thread of its own, not to the one that started it.
    EXPECT_NE(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId());
    EXPECT_EQ(Bar(window), nullptr);

    splash.Close();
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(SplashWindowTest, LargerImageStartsLeftOfAndAboveTheWorkArea) {
    const RECT area = WorkArea();
    const int width = area.right - area.left + 200;
    const int height = area.bottom - area.top + 100;
    SplashScreen splash;
    HWND window = Show(splash, width, height);
    ASSERT_NE(window, nullptr);
    RECT rect{};
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, area.left - 100);
    EXPECT_EQ(rect.top, area.top - 50);
    EXPECT_EQ(rect.right - rect.left, width);
}

TEST_F(SplashWindowTest, FirstProgressMakesTheBarAlongTheBottomAndLaterOnesMoveIt) {
    SplashScreen splash;
    HWND window = Show(splash, 400, 240);
    ASSERT_NE(window, nullptr);
    splash.SetProgress(0);
    ASSERT_TRUE(WaitUntil([&] { return Bar(window) != nullptr; }));
    HWND bar = Bar(window);
    RECT rect{};
    GetWindowRect(bar, &rect);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(rect.left, 4);
    EXPECT_EQ(rect.top, 240 - 20);
    EXPECT_EQ(rect.right - rect.left, 400 - 8);
    EXPECT_EQ(rect.bottom - rect.top, 16);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 0);
    EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 100);

    for (int percent : {5, 10, 60}) {
        splash.SetProgress(percent);
        EXPECT_TRUE(WaitUntil([&] { return SendMessageA(bar, PBM_GETPOS, 0, 0) == percent; }));
    }
    EXPECT_EQ(Bar(window), bar);
    GetWindowRect(window, &rect);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    EXPECT_FALSE(
        shelltest::SaveScreenshot(rect.left - 20, rect.top - 20, 440, 280, "splash-progress")
            .empty());
    splash.SetProgress(100);
    EXPECT_TRUE(WaitUntil([&] { return SendMessageA(bar, PBM_GETPOS, 0, 0) == 100; }));
}

TEST_F(SplashWindowTest, MissingFileStillGivesAnImageObject) {
    SplashScreen splash;
    EXPECT_TRUE(splash.LoadSplashImage(dir_ / "no-such.bmp"));
}

TEST_F(SplashWindowTest, CloseBeforeStartAndProgressWithoutThreadDoNothing) {
    SplashScreen splash;
    splash.SetProgress(50);
    splash.Close();
    EXPECT_EQ(FindTopWindow("SplashWnd"), nullptr);
}

// A box shown while the splash is up (a refused port, a server that died) comes above it.
TEST_F(SplashWindowTest, AShellMessageBoxShowsAboveTheSplash) {
    SplashScreen splash;
    HWND window = Show(splash, 320, 200);
    ASSERT_NE(window, nullptr);
    std::thread caller([] { ShowShellMessageBox("Port is already in use", "Error", kBoxOk); });
    HWND box = nullptr;
    // Found once it shows: the box takes its place in the stack of windows as it comes up.
    EXPECT_TRUE(WaitUntil([&] {
        box = FindTopWindow("#32770", "Error");
        return box != nullptr && IsWindowVisible(box);
    }));
    bool above = false;
    for (HWND below = box; below != nullptr; below = GetWindow(below, GW_HWNDNEXT)) {
        above = above || below == window;
    }
    EXPECT_TRUE(above);
    if (box != nullptr) {
        EXPECT_TRUE(GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    caller.join();
    splash.Close();
}

}  // namespace
