// The host as a proxy exception in the Internet settings of the build's own Wine prefix; the
// value found there before each test is put back after it.
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>

#include "browser/starters.h"
#include "config/settings.h"
#include "sys/registry.h"

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

// The value whole, as the registry holds it.
std::optional<RegistryValue> ReadRaw() {
    CXRegistry key(RegistryRoot::CurrentUser, kKey, false);
    RegistryValue value;
    if (!key.QueryValue(kValue, value)) {
        return std::nullopt;
    }
    return value;
}

void WriteRaw(const RegistryValue& value) {
    CXRegistry key(RegistryRoot::CurrentUser, kKey, true);
    ASSERT_TRUE(key.SetValue(kValue, value));
}

class ProxyOverrideTest : public ::testing::Test {
protected:
    void SetUp() override {
        before_ = ReadRaw();
        settings_.hostName = "trailhost.test";
    }
    void TearDown() override {
        if (before_) {
            WriteRaw(*before_);
        } else {
            WriteOverride(std::nullopt);
        }
    }

    std::optional<RegistryValue> before_;
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

// Two launchers of different sites, and the user who adds an exception of their own while both
// run: whichever stops first, each takes out only its own host.
TEST_F(ProxyOverrideTest, OverlappingRunsTakeOutOnlyTheirOwnHosts) {
    for (const bool firstStopsFirst : {true, false}) {
        WriteOverride("localhost;*.local");
        AppSettings first = settings_;
        first.hostName = "a.test";
        AppSettings second = settings_;
        second.hostName = "b.test";
        Browser::CExternalBrowserStarter a(first, "C:\\runtime-a\\");
        Browser::CExternalBrowserStarter b(second, "C:\\runtime-b\\");
        a.AddHostToProxyOverride();
        b.AddHostToProxyOverride();
        ASSERT_EQ(ReadOverride(), "localhost;*.local a.test b.test");
        WriteOverride("intranet;" + *ReadOverride());

        (firstStopsFirst ? a : b).RestoreProxyOverride();
        EXPECT_EQ(ReadOverride(), firstStopsFirst ? "intranet;localhost;*.local b.test"
                                                  : "intranet;localhost;*.local a.test");
        (firstStopsFirst ? b : a).RestoreProxyOverride();
        EXPECT_EQ(ReadOverride(), "intranet;localhost;*.local");
        EXPECT_TRUE(a.UndidEverything());
        EXPECT_TRUE(b.UndidEverything());
    }
}

// A value of another type than plain text is read, and goes back with its type and bytes.
TEST_F(ProxyOverrideTest, AValueOfAnyTypeComesBackWithItsTypeAndBytes) {
    const struct {
        RegistryValue before;
        RegistryValue during;
    } cases[] = {
        {{REG_EXPAND_SZ, std::string("<local>;%USERDNSDOMAIN%\0", 24)},
         {REG_EXPAND_SZ, std::string("<local>;%USERDNSDOMAIN% trailhost.test\0", 39)}},
        {{REG_DWORD, std::string("\1\0\0\0", 4)}, {REG_SZ, std::string(" trailhost.test\0", 16)}},
        {{REG_BINARY, std::string("x\0y", 3)}, {REG_SZ, std::string(" trailhost.test\0", 16)}},
    };
    for (const auto& c : cases) {
        WriteRaw(c.before);
        Browser::CExternalBrowserStarter starter(settings_, "C:\\runtime\\");
        starter.AddHostToProxyOverride();
        std::optional<RegistryValue> during = ReadRaw();
        ASSERT_TRUE(during);
        EXPECT_EQ(during->type, c.during.type) << c.before.type;
        EXPECT_EQ(during->bytes, c.during.bytes) << c.before.type;
        starter.RestoreProxyOverride();
        std::optional<RegistryValue> after = ReadRaw();
        ASSERT_TRUE(after);
        EXPECT_EQ(after->type, c.before.type);
        EXPECT_EQ(after->bytes, c.before.bytes) << c.before.type;
    }
}

}  // namespace
