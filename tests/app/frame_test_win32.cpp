// Windows: the frame as a hidden window that a second copy finds by its caption, the end of the
// session, and the tray icon with its balloon and its return when the taskbar restarts.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include "app/tray.h"
#include "desktop_probe.h"
#include "shell_test_support.h"
#include "win32_test_support.h"

using shelltest::FindTopWindow;
using shelltest::FrameTest;

namespace {

TEST_F(FrameTest, StaysHiddenWithOrWithoutTrayIconAndASecondCopyFindsItByCaption) {
    for (const bool tray : {false, true}) {
        SCOPED_TRACE(tray ? "with tray icon" : "without tray icon");
        settings_.showTrayIcon = tray;
        ASSERT_TRUE(CreateFrame());
        HWND frame = reinterpret_cast<HWND>(frame_->WindowHandle());
        EXPECT_FALSE(IsWindowVisible(frame));
        EXPECT_EQ(GetAncestor(frame, GA_PARENT), GetDesktopWindow());
        EXPECT_EQ(FindTopWindow("", "Untitled - RM_HUB"), frame);
        // The tray icon's hidden window owns the frame then.
        HWND owner = GetWindow(frame, GW_OWNER);
        EXPECT_EQ(owner != nullptr, tray);
        EXPECT_FALSE(owner != nullptr && IsWindowVisible(owner));
        EXPECT_EQ(shelltest::TrayIconShown(), tray);
        frame_.reset();
        shelltest::DrainUi();
    }
}

// Log-off or shutdown: the system may end the process once WM_ENDSESSION is answered, so the
// whole stop runs before the answer.
TEST_F(FrameTest, TheEndOfTheSessionRunsTheWholeStopBeforeItIsAnswered) {
    ASSERT_TRUE(CreateFrame());
    HWND frame = reinterpret_cast<HWND>(frame_->WindowHandle());
    EXPECT_TRUE(SendMessageA(frame, WM_QUERYENDSESSION, 0, 0));
    EXPECT_EQ(program_.stops, 0);
    SendMessageA(frame, WM_ENDSESSION, TRUE, 0);
    EXPECT_TRUE(program_.stopped);
    EXPECT_EQ(program_.stops, 1);
    EXPECT_TRUE(shelltest::LoopEnds());
    EXPECT_FALSE(frame_->Exists());
}

TEST_F(FrameTest, TrayIconShowsItsBalloonAndComesBackWithANewTaskbar) {
    settings_.showTrayIcon = true;
    ASSERT_TRUE(CreateFrame());
    EXPECT_TRUE(shelltest::PumpUntil([] {
        HWND balloon = FindTopWindow("tooltips_class32", "", shelltest::kAnyProcess);
        return balloon != nullptr && IsWindowVisible(balloon);
    }));
    // The shell restarts: its icons are gone, and it announces the new taskbar.
    NOTIFYICONDATAA data{};
    data.cbSize = NOTIFYICONDATAA_V2_SIZE;
    data.hWnd = FindTopWindow("TrailhostTray");
    data.uID = kTrayIconId;
    Shell_NotifyIconA(NIM_DELETE, &data);
    ASSERT_FALSE(shelltest::TrayIconShown());
    SendMessageA(data.hWnd, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(shelltest::TrayIconShown());
}

}  // namespace
