// Linux: message boxes from other threads are shown by the UI thread while the caller waits;
// without a display they go to standard error.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <thread>

#include "app/message_box.h"
#include "app/ui_thread.h"
#include "qt_test_support.h"
#include "shell_test_support.h"

using shelltest::FindTopWidget;
using shelltest::PumpUntil;

namespace {

TEST(ShellMessageBox, FromAnotherThreadTheUiThreadShowsItAndTheCallerWaits) {
    std::atomic<int> result{0};
    std::thread caller(
        [&] { result = ShowShellMessageBox("Port is already in use", "Error", kBoxOk); });
    // The box runs its own loop on this thread; a timer in that loop answers it.
    std::string text;
    std::string title;
    int resultWhileShown = -1;
    bool onTop = false;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(FindTopWidget("ShellMessageBox"));
        if (box == nullptr) {
            return;
        }
        answer.stop();
        text = box->text().toStdString();
        title = box->windowTitle().toStdString();
        resultWhileShown = result;
        // Above the splash screen, which stays on top of everything while the stack starts.
        onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        box->button(QMessageBox::Ok)->click();
    });
    answer.start(10);
    EXPECT_TRUE(PumpUntil([&] { return result != 0; }));
    caller.join();
    EXPECT_EQ(text, "Port is already in use");
    EXPECT_EQ(title, "Error");
    EXPECT_EQ(resultWhileShown, 0);
    EXPECT_TRUE(onTop);
    EXPECT_EQ(result, 1);
}

TEST(ShellMessageBox, WithoutDisplayTheTextGoesToStandardError) {
    testsupport::TempDir dir;
    const std::string file = dir / "stderr.txt";
    const int saved = dup(STDERR_FILENO);
    const int redirected = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(redirected, STDERR_FILENO);
    close(redirected);
    SetHeadless(true);
    const int result = ShowShellMessageBox("An instance of X is already running", "X", kBoxOk);
    SetHeadless(false);
    dup2(saved, STDERR_FILENO);
    close(saved);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(testsupport::ReadFile(file), "X: An instance of X is already running\n");
    EXPECT_EQ(FindTopWidget("ShellMessageBox"), nullptr);
}

}  // namespace
