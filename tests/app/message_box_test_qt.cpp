// Linux: without a display, the shell's message boxes go to standard error.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "app/message_box.h"
#include "app/ui_thread.h"
#include "test_support.h"

namespace {

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
}

}  // namespace
