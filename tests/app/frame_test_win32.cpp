// Windows: the hidden frame, its tray icon and menu, the shutdown dialog and the close path.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <thread>

#include "app/main_frame.h"
#include "app/tray.h"
#include "config/settings.h"
#include "screenshot.h"
#include "shell_test_support.h"
#include "win32_test_support.h"

using shelltest::FindTopWindow;
using shelltest::PumpUntil;
using shelltest::PumpUntilQuit;
using shelltest::RecordingProgram;
using shelltest::WaitUntil;

namespace {

// The frame's services as the stop sequence uses them.
class FrameServices : public ShellServices {
public:
    explicit FrameServices(CMainFrame& frame) : frame_(frame) {}
    void PostStartupProgress(int) override {}
    void CloseSplash() override {}
    void ShowMessageBox(const std::string&, const std::string&) override {}
    void ShowShutdownDialog(const std::string& message) override {
        frame_.ShowShutdownDialog(message);
    }
    void SetShutdownProgress(int position) override { frame_.SetShutdownProgress(position); }
    void CloseMainFrame() override { frame_.Close(); }
    void ShowRunningUntilClose() override { frame_.ShowRunningUntilClose(); }

private:
    CMainFrame& frame_;
};

class FrameTest : public ::testing::Test {
protected:
    FrameTest() { settings_.serverName = "Demo Stack"; }

    HWND CreateFrame() {
        frame_ = std::make_unique<CMainFrame>(settings_, program_);
        if (!frame_->Create()) {
            return nullptr;
        }
        frame_->Hide();
        return reinterpret_cast<HWND>(frame_->WindowHandle());
    }

    void TearDown() override {
        program_.Release();
        frame_.reset();
        // A quit message left by a destroyed frame must not end the next test's loop.
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    AppSettings settings_;
    RecordingProgram program_;
    std::unique_ptr<CMainFrame> frame_;
};

TEST_F(FrameTest, IsAHiddenTopLevelWindowThatASecondCopyFindsByCaption) {
    HWND frame = CreateFrame();
    ASSERT_NE(frame, nullptr);
    char caption[64] = {};
    GetWindowTextA(frame, caption, sizeof(caption));
    EXPECT_STREQ(caption, "Untitled - RM_HUB");
    EXPECT_FALSE(IsWindowVisible(frame));
    EXPECT_FALSE(GetWindowLongA(frame, GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(GetAncestor(frame, GA_PARENT), GetDesktopWindow());
    EXPECT_EQ(FindTopWindow("", "Untitled - RM_HUB"), frame);
    // No tray icon was asked for.
    EXPECT_EQ(FindTopWindow("TrailhostTray"), nullptr);
}

TEST_F(FrameTest, DestroyWithoutCloseRunsTheStopOnTheUiThreadAndEndsTheLoop) {
    ASSERT_NE(CreateFrame(), nullptr);
    frame_->Destroy();
    EXPECT_EQ(program_.stops, 1);
    EXPECT_EQ(program_.stopThread, RecordingProgram::CurrentThread());
    EXPECT_FALSE(frame_->Exists());
    EXPECT_TRUE(PumpUntilQuit());
}

// Log-off or shutdown: the system may end the process once WM_ENDSESSION is answered, so the
// whole stop runs before the answer, with the shutdown dialog still painted meanwhile.
TEST_F(FrameTest, TheEndOfTheSessionRunsTheWholeStopBeforeItIsAnswered) {
    HWND frame = CreateFrame();
    ASSERT_NE(frame, nullptr);
    FrameServices services(*frame_);
    program_.services = &services;
    program_.dialogMessage = "Closing Demo Stack";
    EXPECT_TRUE(SendMessageA(frame, WM_QUERYENDSESSION, 0, 0));
    EXPECT_EQ(program_.stops, 0);
    SendMessageA(frame, WM_ENDSESSION, TRUE, 0);
    EXPECT_TRUE(program_.stopped);
    EXPECT_EQ(program_.stops, 1);
    EXPECT_TRUE(PumpUntilQuit());
    EXPECT_FALSE(frame_->Exists());
}

TEST_F(FrameTest, TrayIconGivesTheFrameAHiddenOwnerAndLeavesItFindable) {
    settings_.showTrayIcon = true;
    HWND frame = CreateFrame();
    ASSERT_NE(frame, nullptr);
    EXPECT_NE(FindTopWindow("TrailhostTray"), nullptr);
    HWND owner = GetWindow(frame, GW_OWNER);
    ASSERT_NE(owner, nullptr);
    EXPECT_FALSE(IsWindowVisible(owner));
    EXPECT_EQ(GetAncestor(frame, GA_PARENT), GetDesktopWindow());
    EXPECT_EQ(FindTopWindow("", "Untitled - RM_HUB"), frame);
    EXPECT_FALSE(IsWindowVisible(frame));

    // The icon and its "started" balloon in the notification area.
    HWND taskbar = FindWindowA("Shell_TrayWnd", nullptr);
    ASSERT_NE(taskbar, nullptr);
    EXPECT_TRUE(PumpUntil([] {
        HWND balloon = FindTopWindow("tooltips_class32", "", shelltest::kAnyProcess);
        return balloon != nullptr && IsWindowVisible(balloon);
    }));
    RECT rect{};
    GetWindowRect(taskbar, &rect);
    shelltest::SaveScreenshot(rect.left, rect.top, 420, rect.bottom - rect.top + 110,
                              "tray-icon-balloon");
}

// Whether the shell holds the frame's tray icon: only an icon that is there can be modified.
bool TrayIconPresent(HWND tray) {
    NOTIFYICONDATAA data{};
    data.cbSize = NOTIFYICONDATAA_V2_SIZE;
    data.hWnd = tray;
    data.uID = kTrayIconId;
    return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

TEST_F(FrameTest, TrayIconComesBackWithANewTaskbarAndGoesWithTheFrame) {
    settings_.showTrayIcon = true;
    ASSERT_NE(CreateFrame(), nullptr);
    HWND tray = FindTopWindow("TrailhostTray");
    ASSERT_NE(tray, nullptr);
    EXPECT_TRUE(TrayIconPresent(tray));

    // The shell restarts: its icons are gone, and it announces the new taskbar.
    NOTIFYICONDATAA data{};
    data.cbSize = NOTIFYICONDATAA_V2_SIZE;
    data.hWnd = tray;
    data.uID = kTrayIconId;
    Shell_NotifyIconA(NIM_DELETE, &data);
    ASSERT_FALSE(TrayIconPresent(tray));
    SendMessageA(tray, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(TrayIconPresent(tray));

    frame_->Destroy();
    EXPECT_FALSE(TrayIconPresent(tray));
}

// The tray menu, as a right click on the icon shows it. `choose` runs on a second thread once the
// menu is up, with its window and handle.
void RightClickTray(const std::function<void(HWND, HMENU)>& choose) {
    HWND tray = FindTopWindow("TrailhostTray");
    ASSERT_NE(tray, nullptr);
    // The menu opens at the pointer; in the middle of the screen it has room below and right.
    const RECT area = shelltest::WorkArea();
    SetCursorPos((area.left + area.right) / 2, (area.top + area.bottom) / 2);
    std::atomic<bool> chosen{false};
    std::thread watcher([&] {
        HWND menu = nullptr;
        const bool shown = WaitUntil([&] {
            menu = FindTopWindow("#32768");
            return menu != nullptr && IsWindowVisible(menu);
        });
        if (shown) {
            choose(menu, reinterpret_cast<HMENU>(SendMessageA(menu, MN_GETHMENU, 0, 0)));
        }
        chosen = true;
    });
    PostMessageA(tray, kTrayCallbackMessage, kTrayIconId, WM_RBUTTONUP);
    // The menu runs its own loop inside this thread's handling of the callback, so the pump
    // looks at `chosen` only once the menu has gone.
    EXPECT_TRUE(PumpUntil([&] { return chosen.load(); }));
    watcher.join();
}

std::string ItemText(HMENU menu, int position) {
    char text[128] = {};
    GetMenuStringA(menu, static_cast<UINT>(position), text, sizeof(text), MF_BYPOSITION);
    return text;
}

TEST_F(FrameTest, TrayMenuShowsTheTwoItemsAndCloseEndsThroughOneStopOffTheUiThread) {
    settings_.showTrayIcon = true;
    ASSERT_NE(CreateFrame(), nullptr);
    std::string running;
    std::string close;
    UINT runningState = 0;
    UINT closeCommand = 0;
    RightClickTray([&](HWND window, HMENU menu) {
        running = ItemText(menu, 0);
        close = ItemText(menu, 1);
        runningState = GetMenuState(menu, 0, MF_BYPOSITION);
        closeCommand = GetMenuItemID(menu, 1);
        RECT rect{};
        GetWindowRect(window, &rect);
        shelltest::SaveScreenshot(rect.left - 10, rect.top - 10, rect.right - rect.left + 20,
                                  rect.bottom - rect.top + 20, "tray-menu");
        // Down the menu until Close is highlighted, whatever the pointer highlighted first.
        auto highlighted = [&] {
            for (int item = 0; item < 2; ++item) {
                if (GetMenuState(menu, static_cast<UINT>(item), MF_BYPOSITION) & MF_HILITE) {
                    return item;
                }
            }
            return -1;
        };
        for (int step = 0; step < 4 && highlighted() != 1; ++step) {
            const int before = highlighted();
            PostMessageA(window, WM_KEYDOWN, VK_DOWN, 0);
            WaitUntil([&] { return highlighted() != before; }, 5000);
        }
        PostMessageA(window, WM_KEYDOWN, VK_RETURN, 0);
    });
    EXPECT_EQ(running, "Anwendung l\xe4uft");
    EXPECT_TRUE(runningState & MF_GRAYED);
    EXPECT_EQ(close, "Close Demo Stack");
    EXPECT_EQ(closeCommand, kAppExitCommand);

    EXPECT_TRUE(PumpUntilQuit());
    EXPECT_EQ(program_.stops, 1);
    EXPECT_NE(program_.stopThread, RecordingProgram::CurrentThread());
    EXPECT_FALSE(frame_->Exists());
    EXPECT_EQ(FindTopWindow("", "Untitled - RM_HUB"), nullptr);
}

TEST_F(FrameTest, TrayMenuDismissedAndDoubleClickLeaveTheProgramRunning) {
    settings_.showTrayIcon = true;
    ASSERT_NE(CreateFrame(), nullptr);
    RightClickTray([](HWND window, HMENU) { PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0); });
    PostMessageA(FindTopWindow("TrailhostTray"), kTrayCallbackMessage, kTrayIconId,
                 WM_LBUTTONDBLCLK);
    shelltest::DrainMessages();
    EXPECT_EQ(program_.stops, 0);
    EXPECT_TRUE(frame_->Exists());
}

TEST_F(FrameTest, CloseWaitsForTheStopWhileTheShutdownDialogPaints) {
    HWND frame = CreateFrame();
    ASSERT_NE(frame, nullptr);
    FrameServices services(*frame_);
    program_.services = &services;
    program_.dialogMessage = "Closing Demo Stack";
    program_.hold = true;

    // WM_CLOSE sent from another thread, as the stop sequence or a tray command does.
    std::atomic<bool> closeReturned{false};
    std::thread closer([&] {
        frame_->Close();
        closeReturned = true;
    });
    HWND dialog = nullptr;
    ASSERT_TRUE(PumpUntil([&] {
        dialog = FindTopWindow("#32770");
        return closeReturned && program_.stopping && dialog != nullptr;
    }));
    closer.join();

    // The stop holds: the frame is still there, the dialog shows and the UI thread still turns.
    EXPECT_TRUE(frame_->Exists());
    EXPECT_NE(program_.stopThread, RecordingProgram::CurrentThread());
    char text[128] = {};
    GetDlgItemTextA(dialog, 1002, text, sizeof(text));
    EXPECT_STREQ(text, "Closing Demo Stack");
    HWND bar = GetDlgItem(dialog, 1001);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 30);
    EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 100);
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_FALSE(GetWindowLongA(dialog, GWL_STYLE) & WS_CAPTION);
    EXPECT_TRUE(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST);
    RECT rect{};
    GetWindowRect(dialog, &rect);
    const RECT area = shelltest::WorkArea();
    EXPECT_EQ(rect.left, (area.left + area.right - (rect.right - rect.left)) / 2);
    EXPECT_EQ(rect.top, (area.top + area.bottom - (rect.bottom - rect.top)) / 2);
    PumpUntil([] { return true; });
    EXPECT_FALSE(shelltest::SaveScreenshot(rect.left - 10, rect.top - 10,
                                           rect.right - rect.left + 20, rect.bottom - rect.top + 20,
                                           "shutdown-dialog")
                     .empty());

    // A second close request while the stop runs changes nothing.
    std::atomic<bool> secondReturned{false};
    std::thread second([&] {
        frame_->Close();
        secondReturned = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return secondReturned.load(); }));
    second.join();
    EXPECT_EQ(program_.stops, 1);
    EXPECT_TRUE(frame_->Exists());

    program_.Release();
    EXPECT_TRUE(PumpUntilQuit());
    EXPECT_TRUE(program_.stopped);
    EXPECT_EQ(program_.stops, 1);
    EXPECT_FALSE(frame_->Exists());
    EXPECT_FALSE(IsWindow(dialog));
}

}  // namespace
