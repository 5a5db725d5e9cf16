// The frame's close path with its shutdown dialog, and its tray icon and menu.
#include <gtest/gtest.h>

#include <vector>

#include "app/tray.h"
#include "desktop_probe.h"
#include "shell_test_support.h"

using shelltest::FrameTest;
using shelltest::LookAt;
using shelltest::LoopEnds;
using shelltest::OffUiThread;
using shelltest::RecordingProgram;
using shelltest::ShellWindow;

namespace {

TEST_F(FrameTest, DestroyWithoutCloseRunsTheStopOnTheUiThreadAndEndsTheLoop) {
    ASSERT_TRUE(CreateFrame());
    frame_->Destroy();
    EXPECT_EQ(program_.stops, 1);
    EXPECT_EQ(program_.stopThread, RecordingProgram::CurrentThread());
    EXPECT_FALSE(frame_->Exists());
    EXPECT_TRUE(LoopEnds());
}

TEST_F(FrameTest, CloseWaitsForTheStopWhileTheShutdownDialogPaints) {
    ASSERT_TRUE(CreateFrame());
    program_.frame = frame_.get();
    program_.dialogMessage = "Closing Demo Stack";
    program_.hold = true;

    // A close request from another thread, as the stop sequence or the tray's Close sends it,
    // returns while the stop holds; the frame stays and the UI thread shows the dialog.
    OffUiThread([&] { frame_->Close(); });
    ASSERT_TRUE(shelltest::PumpUntil(
        [&] { return program_.stopping && LookAt(ShellWindow::kShutdownDialog).barValue == 30; }));
    EXPECT_TRUE(frame_->Exists());
    EXPECT_NE(program_.stopThread, RecordingProgram::CurrentThread());
    const shelltest::WindowLook dialog = LookAt(ShellWindow::kShutdownDialog);
    EXPECT_EQ(dialog.text, "Closing Demo Stack");
    EXPECT_EQ(dialog.barMaximum, 100);
    EXPECT_TRUE(dialog.topmostWithoutFrame);
    EXPECT_EQ(dialog.rect, shelltest::CentredOnWorkArea(dialog.rect.right - dialog.rect.left,
                                                        dialog.rect.bottom - dialog.rect.top));
    shelltest::KeepScreenshot(ShellWindow::kShutdownDialog, "shutdown-dialog");

    // A second close request while the stop runs changes nothing.
    OffUiThread([&] { frame_->Close(); });
    EXPECT_EQ(program_.stops, 1);
    EXPECT_TRUE(frame_->Exists());

    program_.Release();
    EXPECT_TRUE(LoopEnds());
    EXPECT_TRUE(program_.stopped);
    EXPECT_EQ(program_.stops, 1);
    EXPECT_FALSE(frame_->Exists());
    EXPECT_FALSE(LookAt(ShellWindow::kShutdownDialog).shown);
}

TEST_F(FrameTest, TrayMenuOffersCloseWhichEndsThroughOneStopOffTheUiThread) {
    settings_.showTrayIcon = true;
    ASSERT_TRUE(CreateFrame());
    EXPECT_TRUE(shelltest::TrayIconShown());
    const TrayTexts texts = MakeTrayTexts("Demo Stack");
    EXPECT_EQ(shelltest::UseTrayMenu(1), (std::vector<shelltest::MenuItem>{
                                             {texts.runningItem, false}, {texts.closeItem, true}}));
    EXPECT_TRUE(LoopEnds());
    EXPECT_EQ(program_.stops, 1);
    EXPECT_NE(program_.stopThread, RecordingProgram::CurrentThread());
    EXPECT_FALSE(frame_->Exists());
    EXPECT_FALSE(shelltest::TrayIconShown());
}

// The stack kept up after the browser has gone: the tray icon comes, also where none was asked
// for, and its Close is the way to end the run.
TEST_F(FrameTest, RunningUntilCloseBringsTheTrayIconWhoseCloseEndsTheRun) {
    ASSERT_TRUE(CreateFrame());
    EXPECT_FALSE(shelltest::TrayIconShown());
    OffUiThread([&] { frame_->ShowRunningUntilClose(); });
    ASSERT_TRUE(shelltest::PumpUntil([] { return shelltest::TrayIconShown(); }));
    const TrayTexts texts = MakeTrayTexts("Demo Stack");
    EXPECT_EQ(shelltest::UseTrayMenu(1), (std::vector<shelltest::MenuItem>{
                                             {texts.runningItem, false}, {texts.closeItem, true}}));
    EXPECT_TRUE(LoopEnds());
    EXPECT_EQ(program_.stops, 1);
}

TEST_F(FrameTest, TrayMenuDismissedAndDoubleClickLeaveTheProgramRunning) {
    settings_.showTrayIcon = true;
    ASSERT_TRUE(CreateFrame());
    shelltest::UseTrayMenu(-1);
    shelltest::DoubleClickTray();
    EXPECT_EQ(program_.stops, 0);
    EXPECT_TRUE(frame_->Exists());
    EXPECT_TRUE(shelltest::TrayIconShown());
}

}  // namespace
