// Windows's place of the proxy exceptions: ProxyOverride in the Internet settings of the build's
// own Wine prefix. Other launchers and other value types meet there too.
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <utility>

#include "browser/starters.h"
#include "config/settings.h"
#include "proxy_override_test.h"
#include "sys/registry.h"

namespace {

const char kKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const char kValue[] = "ProxyOverride";

// The value whole, as the registry holds it.
std::optional<RegistryValue> ReadRaw() {
    CXRegistry key(RegistryRoot::CurrentUser, kKey, false);
    RegistryValue value;
    if (!key.QueryValue(kValue, value)) {
        return std::nullopt;
    }
    return value;
}

// What a comparison of two values shows: type and bytes, or none at all.
std::pair<unsigned long, std::string> Fields(const std::optional<RegistryValue>& value) {
    return value ? std::make_pair(value->type, value->bytes)
                 : std::make_pair(0ul, std::string("<none>"));
}

void WriteRaw(const RegistryValue& value) {
    CXRegistry key(RegistryRoot::CurrentUser, kKey, true);
    ASSERT_TRUE(key.SetValue(kValue, value));
}

}  // namespace

namespace proxytest {

const Texts kTexts = {"localhost;*.local", "localhost;*.local trailhost.test", " trailhost.test",
                      ""};

std::optional<std::string> Read() {
    CXRegistry key(RegistryRoot::CurrentUser, kKey, false);
    std::string text;
    return key.QueryString(kValue, text) ? std::optional<std::string>(text) : std::nullopt;
}

void Write(const std::optional<std::string>& value) {
    if (value) {
        CXRegistry(RegistryRoot::CurrentUser, kKey, true).SetString(kValue, value->c_str());
    } else {
        RegDeleteKeyValueA(HKEY_CURRENT_USER, kKey, kValue);
    }
}

std::function<void()> Save() {
    return [before = ReadRaw()] { before ? WriteRaw(*before) : Write(std::nullopt); };
}

}  // namespace proxytest

namespace {

using proxytest::ProxyOverrideTest;

// Two launchers of different sites, and the user who adds exceptions of their own before and
// after theirs while both run: whichever stops first, each takes out only its own host.
TEST_F(ProxyOverrideTest, OverlappingRunsTakeOutOnlyTheirOwnHosts) {
    for (const bool firstStopsFirst : {true, false}) {
        proxytest::Write("localhost;*.local");
        AppSettings first = settings_, second = settings_;
        first.hostName = "a.test";
        second.hostName = "b.test";
        Browser::CExternalBrowserStarter a(first, "C:\\runtime-a\\");
        Browser::CExternalBrowserStarter b(second, "C:\\runtime-b\\");
        a.AddHostToProxyOverride();
        b.AddHostToProxyOverride();
        ASSERT_EQ(proxytest::Read(), "localhost;*.local a.test b.test");
        proxytest::Write("intranet;" + *proxytest::Read() + ";<local>");

        (firstStopsFirst ? a : b).RestoreProxyOverride();
        EXPECT_EQ(proxytest::Read(), firstStopsFirst ? "intranet;localhost;*.local b.test;<local>"
                                                     : "intranet;localhost;*.local a.test;<local>");
        (firstStopsFirst ? b : a).RestoreProxyOverride();
        EXPECT_EQ(proxytest::Read(), "intranet;localhost;*.local;<local>");
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
        EXPECT_EQ(Fields(ReadRaw()), Fields(c.during)) << c.before.type;
        starter.RestoreProxyOverride();
        EXPECT_EQ(Fields(ReadRaw()), Fields(c.before)) << c.before.type;
    }
}

}  // namespace
