// Linux: the frame's endpoint, its tray icon and menu, the shutdown dialog and the close path.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QScreen>
#include <QSystemTrayIcon>

#include <signal.h>
#include <unistd.h>

#include <functional>
#include <thread>

#include "app/local_endpoint.h"
#include "app/main_frame.h"
#include "config/settings.h"
#include "qt_test_support.h"
#include "screenshot.h"
#include "shell_test_support.h"

using shelltest::FindTopWidget;
using shelltest::PumpUntil;
using shelltest::RecordingProgram;

namespace {

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

std::string OwnFrameName() {
    return "Untitled - RM_HUB/" + std::to_string(getpid());
}

class FrameTest : public ::testing::Test {
protected:
    FrameTest() { settings_.serverName = "Demo Stack"; }

    bool CreateFrame() {
        frame_ = std::make_unique<CMainFrame>(settings_, program_);
        return frame_->Create();
    }

    void TearDown() override {
        program_.Release();
        frame_.reset();
    }

    AppSettings settings_;
    RecordingProgram program_;
    std::unique_ptr<CMainFrame> frame_;
};

// A second copy's request on the frame's endpoint, Ctrl+C, the end of the session, kill: each
// is one close that stops the program off the UI thread and ends the frame.
TEST_F(FrameTest, AnotherCopyOrAnEndSignalClosesTheFrame) {
    const struct {
        const char* what;
        std::function<bool()> request;
    } requests[] = {
        {"-shutdown of another copy", [] { return SendToEndpoint(OwnFrameName(), "close"); }},
        {"SIGINT", [] { return raise(SIGINT) == 0; }},
        {"SIGTERM", [] { return raise(SIGTERM) == 0; }},
        {"SIGHUP", [] { return raise(SIGHUP) == 0; }},
    };
    for (const auto& r : requests) {
        SCOPED_TRACE(r.what);
        program_.stops = 0;
        ASSERT_TRUE(CreateFrame());
        const std::vector<std::string> frames = FindEndpoints("Untitled - RM_HUB/");
        EXPECT_NE(std::find(frames.begin(), frames.end(), EndpointAddress(OwnFrameName())),
                  frames.end());
        // The -shutdown search passes over this process's own frame.
        EXPECT_FALSE(ShutdownRunningInstance());
        EXPECT_TRUE(frame_->Exists());

        std::atomic<bool> sent{false};
        std::thread other([&] { sent = r.request(); });
        EXPECT_TRUE(PumpUntil([&] { return !frame_->Exists(); }));
        other.join();
        EXPECT_TRUE(sent);
        EXPECT_EQ(program_.stops, 1);
        EXPECT_NE(program_.stopThread, RecordingProgram::CurrentThread());
        EXPECT_TRUE(FindEndpoints(OwnFrameName()).empty());
        frame_.reset();
    }
}

TEST_F(FrameTest, OtherLinesOnTheEndpointDoNotClose) {
    ASSERT_TRUE(CreateFrame());
    std::atomic<bool> sent{false};
    std::thread other([&] { sent = SendToEndpoint(OwnFrameName(), "CLOSE now"); });
    EXPECT_TRUE(PumpUntil([&] { return sent.load(); }));
    other.join();
    PumpUntil([] { return true; });
    EXPECT_TRUE(frame_->Exists());
    EXPECT_EQ(program_.stops, 0);
}

TEST_F(FrameTest, DestroyWithoutCloseRunsTheStopOnTheUiThread) {
    ASSERT_TRUE(CreateFrame());
    frame_->Destroy();
    EXPECT_EQ(program_.stops, 1);
    EXPECT_EQ(program_.stopThread, RecordingProgram::CurrentThread());
    EXPECT_FALSE(frame_->Exists());
}

QSystemTrayIcon* TrayIcon() {
    return QCoreApplication::instance()->findChild<QSystemTrayIcon*>("TrailhostTray");
}

TEST_F(FrameTest, TrayIconCarriesTheNameAndItsMenuTheTwoItems) {
    settings_.showTrayIcon = true;
    ASSERT_TRUE(CreateFrame());
    QSystemTrayIcon* icon = TrayIcon();
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->toolTip().toStdString(), "Demo Stack");
    EXPECT_FALSE(icon->icon().isNull());
    QMenu* menu = icon->contextMenu();
    ASSERT_NE(menu, nullptr);
    const QList<QAction*> items = menu->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->text().toStdString(), "Anwendung l\xc3\xa4uft");
    EXPECT_FALSE(items[0]->isEnabled());
    EXPECT_EQ(items[1]->text().toStdString(), "Close Demo Stack");
    EXPECT_TRUE(items[1]->isEnabled());

    // The menu as a right click shows it, near the screen's bottom right corner.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    menu->popup(QPoint(screen.right() - 220, screen.bottom() - 120));
    PumpUntil([&] { return menu->isVisible(); });
    PumpUntil([] { return false; }, 100);
    const QRect rect = menu->geometry();
    EXPECT_FALSE(shelltest::SaveScreenshot(rect.x() - 10, rect.y() - 10, rect.width() + 20,
                                           rect.height() + 20, "tray-menu")
                     .empty());
    menu->hide();

    // A double click does nothing.
    emit icon->activated(QSystemTrayIcon::DoubleClick);
    PumpUntil([] { return true; });
    EXPECT_EQ(program_.stops, 0);
    EXPECT_TRUE(frame_->Exists());
}

TEST_F(FrameTest, TrayCloseEndsThroughOneStopOffTheUiThreadAndTakesTheIconAway) {
    settings_.showTrayIcon = true;
    ASSERT_TRUE(CreateFrame());
    ASSERT_NE(TrayIcon(), nullptr);
    TrayIcon()->contextMenu()->actions()[1]->trigger();
    EXPECT_TRUE(PumpUntil([&] { return !frame_->Exists(); }));
    EXPECT_EQ(program_.stops, 1);
    EXPECT_NE(program_.stopThread, RecordingProgram::CurrentThread());
    EXPECT_EQ(TrayIcon(), nullptr);
}

TEST_F(FrameTest, CloseWaitsForTheStopWhileTheShutdownDialogPaints) {
    ASSERT_TRUE(CreateFrame());
    FrameServices services(*frame_);
    program_.services = &services;
    program_.dialogMessage = "Closing Demo Stack";
    program_.hold = true;

    std::atomic<bool> closeReturned{false};
    std::thread closer([&] {
        frame_->Close();
        closeReturned = true;
    });
    QWidget* dialog = nullptr;
    ASSERT_TRUE(PumpUntil([&] {
        dialog = FindTopWidget("CShutdownServer");
        auto* bar = dialog != nullptr ? dialog->findChild<QProgressBar*>("progress") : nullptr;
        return closeReturned && program_.stopping && bar != nullptr && bar->value() == 30;
    }));
    closer.join();

    EXPECT_TRUE(frame_->Exists());
    EXPECT_NE(program_.stopThread, RecordingProgram::CurrentThread());
    EXPECT_EQ(dialog->findChild<QLabel*>("message")->text().toStdString(), "Closing Demo Stack");
    auto* bar = dialog->findChild<QProgressBar*>("progress");
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_TRUE(dialog->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(dialog->windowFlags() & Qt::WindowStaysOnTopHint);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(dialog->x(), area.x() + (area.width() - dialog->width()) / 2);
    EXPECT_EQ(dialog->y(), area.y() + (area.height() - dialog->height()) / 2);
    PumpUntil([] { return false; }, 100);
    const QRect rect = dialog->frameGeometry();
    EXPECT_FALSE(shelltest::SaveScreenshot(rect.x() - 10, rect.y() - 10, rect.width() + 20,
                                           rect.height() + 20, "shutdown-dialog")
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
    EXPECT_TRUE(PumpUntil([&] { return !frame_->Exists(); }));
    EXPECT_TRUE(program_.stopped);
    EXPECT_EQ(program_.stops, 1);
    EXPECT_EQ(FindTopWidget("CShutdownServer"), nullptr);
}

}  // namespace
