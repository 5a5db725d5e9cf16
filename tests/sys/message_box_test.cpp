#include "sys/message_box.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Every box reaches the installed handler with its text, caption and style, and the handler's
// button comes back; the handler may show another box (an error box while one is answered) and
// is replaced by the next one, which gives back the one before.
TEST(MessageBox, TheInstalledHandlerReceivesEveryBoxUntilReplaced) {
    const auto box = [](const std::string& caption, const std::string& text, unsigned style) {
        return caption + ": " + text + " " + std::to_string(style);
    };
    std::vector<std::string> seen;
    MessageBoxHandler before = SetMessageBoxHandler(
        [&](const std::string& text, const std::string& caption, unsigned style) {
            seen.push_back(box(caption, text, style));
            if (text == "outer") {
                ShowMessageBox("inner", "c", kMessageBoxIconStop);
            }
            return 7;
        });
    EXPECT_EQ(ShowMessageBox("outer", "Error", kMessageBoxIconInformation), 7);
    MessageBoxHandler mine = SetMessageBoxHandler(std::move(before));
    ASSERT_TRUE(static_cast<bool>(mine));
    EXPECT_EQ(mine("given back", "c", 0), 7);
    EXPECT_EQ(seen, (std::vector<std::string>{box("Error", "outer", kMessageBoxIconInformation),
                                              box("c", "inner", kMessageBoxIconStop),
                                              box("c", "given back", 0)}));
}

#ifndef _WIN32
TEST(MessageBox, WithoutHandlerLinuxWritesCaptionAndTextToStderr) {
    MessageBoxHandler before = SetMessageBoxHandler(nullptr);
    testing::internal::CaptureStderr();
    const int button =
        ShowMessageBox("No such file or directory", "Error", kMessageBoxIconInformation);
    const std::string printed = testing::internal::GetCapturedStderr();
    SetMessageBoxHandler(std::move(before));
    EXPECT_EQ(button, 1);
    EXPECT_EQ(printed, "Error: No such file or directory\n");
}
#endif

}  // namespace
