// The host as a proxy exception in the Internet settings of the build's own Wine prefix; the
// value found there before each test is put back after it.
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>

#include "browser/starters.h"
#include "config/settings.h"

namespace {

const char kKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const char kValue[] = "ProxyOverride";

std::optional<std::string> ReadOverride() {
    char buffer[4096] = {};
    DWORD size = sizeof(buffer) - 1;
    DWORD type = 0;
    if (RegGetValueA(HKEY_CURRENT_USER, kKey, kValue, RRF_RT_ANY, &type, buffer, &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::nullopt;
    }
    return std::string(buffer);
}

void WriteOverride(const std::optional<std::string>& value) {
    if (!value) {
        RegDeleteKeyValueA(HKEY_CURRENT_USER, kKey, kValue);
        return;
    }
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, kValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                   static_cast<DWORD>(value->size() + 1));
    RegCloseKey(key);
}

class ProxyOverrideTest : public ::testing::Test {
protected:
    void SetUp() override {
        before_ = ReadOverride();
        settings_.hostName = "trailhost.test";
    }
    void TearDown() override { WriteOverride(before_); }

    std::optional<std::string> before_;
    AppSettings settings_;
};

TEST_F(ProxyOverrideTest, PreviousValueGetsTheHostDuringTheRunAndComesBackAfter) {
    WriteOverride("localhost;*.local");
    Browser::CExternalBrowserStarter starter(settings_, "C:\\runtime\\");
    starter.AddHostToProxyOverride();
    EXPECT_EQ(ReadOverride(), "localhost;*.local trailhost.test");
    // A second call must not take the changed value for the old one.
    starter.AddHostToProxyOverride();
    EXPECT_EQ(ReadOverride(), "localhost;*.local trailhost.test");
    starter.Stop();
    EXPECT_EQ(ReadOverride(), "localhost;*.local");

    // Put back once: what the user sets afterwards stays.
    WriteOverride("changed later");
    starter.Stop();
    EXPECT_EQ(ReadOverride(), "changed later");
}

TEST_F(ProxyOverrideTest, NoPreviousValueGivesBlankAndHostThenAnEmptyValue) {
    WriteOverride(std::nullopt);
    Browser::CInternetExplorerStarter starter(settings_, "C:\\runtime\\");
    starter.AddHostToProxyOverride();
    EXPECT_EQ(ReadOverride(), " trailhost.test");
    starter.RestoreProxyOverride();
    EXPECT_EQ(ReadOverride(), "");
}

TEST_F(ProxyOverrideTest, StopWithoutStartLeavesTheValueAlone) {
    WriteOverride("user's own");
    Browser::CSystemDefaultStarter byDefault(settings_, "C:\\runtime\\");
    byDefault.Stop();
    EXPECT_EQ(ReadOverride(), "user's own");
    Browser::CChromiumStarter chromium(settings_, "C:\\runtime\\", "C:\\none\\chrome.exe");
    chromium.Stop();
    EXPECT_EQ(ReadOverride(), "user's own");
}

}  // namespace
