#include "sys/message_box.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Shown {
    std::string text;
    std::string caption;
    unsigned style;
};

TEST(MessageBox, InstalledHandlerReceivesEveryBoxUntilReplaced) {
    std::vector<Shown> first;
    std::vector<Shown> second;
    MessageBoxHandler before = SetMessageBoxHandler(
        [&first](const std::string& text, const std::string& caption, unsigned style) {
            first.push_back({text, caption, style});
            return 7;
        });
    EXPECT_EQ(ShowMessageBox("Disk full", "Error", kMessageBoxIconInformation), 7);

    MessageBoxHandler replaced = SetMessageBoxHandler(
        [&second](const std::string& text, const std::string& caption, unsigned style) {
            second.push_back({text, caption, style});
            return 1;
        });
    ASSERT_TRUE(static_cast<bool>(replaced));
    EXPECT_EQ(ShowMessageBox("Port busy", "Trailhost", kMessageBoxIconStop), 1);
    SetMessageBoxHandler(std::move(before));

    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].text, "Disk full");
    EXPECT_EQ(first[0].caption, "Error");
    EXPECT_EQ(first[0].style, 0x40u);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].caption, "Trailhost");
    EXPECT_EQ(second[0].style, 0x10u);
}

TEST(MessageBox, HandlerMayShowAnotherBox) {
    std::vector<std::string> seen;
    MessageBoxHandler before =
        SetMessageBoxHandler([&seen](const std::string& text, const std::string&, unsigned) {
            seen.push_back(text);
            if (text == "outer") {
                ShowMessageBox("inner", "c", 0);
            }
            return 1;
        });
    ShowMessageBox("outer", "c", 0);
    SetMessageBoxHandler(std::move(before));
    EXPECT_EQ(seen, (std::vector<std::string>{"outer", "inner"}));
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
