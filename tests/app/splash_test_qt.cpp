// Linux: the splash window on the UI thread, its place and its progress bar, fed from other
// threads.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QProgressBar>
#include <QScreen>

#include <thread>

#include "app/splash.h"
#include "qt_test_support.h"
#include "screenshot.h"
#include "shell_test_support.h"

using shelltest::FindTopWidget;
using shelltest::PumpUntil;

namespace {

class SplashWindowTest : public ::testing::Test {
protected:
    // Shows a splash screen for an image of `width` x `height`; its window, or null.
    QWidget* Show(SplashScreen& splash, int width, int height) {
        const std::string file = dir_ / "splash.bmp";
        shelltest::WriteBitmap(file, width, height);
        if (!splash.LoadSplashImage(file)) {
            return nullptr;
        }
        splash.Start();
        return FindTopWidget("SplashWnd");
    }

    static QRect WorkArea() { return QGuiApplication::primaryScreen()->availableGeometry(); }

    static QProgressBar* Bar(QWidget* splash) {
        return splash->findChild<QProgressBar*>("progress");
    }

    // Runs `work` on another thread while this one turns the UI loop.
    static void OffUiThread(const std::function<void()>& work) {
        std::atomic<bool> done{false};
        std::thread worker([&] {
            work();
            done = true;
        });
        EXPECT_TRUE(PumpUntil([&] { return done.load(); }));
        worker.join();
    }

    testsupport::TempDir dir_;
};

TEST_F(SplashWindowTest, SmallImageIsCentredOnTheWorkAreaInAFramelessTopmostWindowWithoutBar) {
    SplashScreen splash;
    QWidget* window = Show(splash, 320, 200);
    ASSERT_NE(window, nullptr);
    const QRect area = WorkArea();
    EXPECT_EQ(window->geometry(), QRect((2 * area.x() + area.width() - 320) / 2,
                                        (2 * area.y() + area.height() - 200) / 2, 320, 200));
    EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(Bar(window), nullptr);

    OffUiThread([&] { splash.Close(); });
    EXPECT_EQ(FindTopWidget("SplashWnd"), nullptr);
}

TEST_F(SplashWindowTest, LargerImageStartsLeftOfAndAboveTheWorkArea) {
    const QRect area = WorkArea();
    SplashScreen splash;
    QWidget* window = Show(splash, area.width() + 200, area.height() + 100);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->pos(), QPoint(area.x() - 100, area.y() - 50));
    EXPECT_EQ(window->size(), QSize(area.width() + 200, area.height() + 100));
}

TEST_F(SplashWindowTest, FirstProgressMakesTheBarAlongTheBottomAndLaterOnesMoveIt) {
    SplashScreen splash;
    QWidget* window = Show(splash, 400, 240);
    ASSERT_NE(window, nullptr);
    OffUiThread([&] { splash.SetProgress(0); });
    ASSERT_TRUE(PumpUntil([&] { return Bar(window) != nullptr; }));
    QProgressBar* bar = Bar(window);
    EXPECT_EQ(bar->geometry(), QRect(4, 240 - 20, 400 - 8, 16));
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);

    for (int percent : {5, 10, 60}) {
        OffUiThread([&] { splash.SetProgress(percent); });
        EXPECT_TRUE(PumpUntil([&] { return bar->value() == percent; }));
    }
    EXPECT_EQ(Bar(window), bar);
    PumpUntil([&] { return window->isVisible(); });
    const QRect frame = window->frameGeometry();
    EXPECT_FALSE(shelltest::SaveScreenshot(frame.x() - 20, frame.y() - 20, frame.width() + 40,
                                           frame.height() + 40, "splash-progress")
                     .empty());
    OffUiThread([&] { splash.SetProgress(100); });
    EXPECT_TRUE(PumpUntil([&] { return bar->value() == 100; }));
}

TEST_F(SplashWindowTest, CloseBeforeStartAndProgressWithoutWindowDoNothing) {
    SplashScreen splash;
    OffUiThread([&] {
        splash.SetProgress(50);
        splash.Close();
    });
    PumpUntil([] { return true; });
    EXPECT_EQ(FindTopWidget("SplashWnd"), nullptr);
}

TEST_F(SplashWindowTest, UnreadableFileGivesNoWindow) {
    SplashScreen splash;
    EXPECT_TRUE(splash.LoadSplashImage(dir_ / "no-such.bmp"));
    splash.Start();
    EXPECT_EQ(FindTopWidget("SplashWnd"), nullptr);
}

}  // namespace
