// Linux's place of the proxy exceptions: no_proxy and NO_PROXY, which the cases set alike.
#include <gtest/gtest.h>

#include "browser/starters.h"
#include "config/settings.h"
#include "proxy_override_test.h"
#include "test_support.h"

namespace proxytest {

using testsupport::GetEnv;
using testsupport::SetEnv;

const Texts kTexts = {"localhost,.local", "localhost,.local,trailhost.test", "trailhost.test",
                      std::nullopt};

// Both lists, which must agree.
std::optional<std::string> Read() {
    const auto lower = GetEnv("no_proxy");
    const auto upper = GetEnv("NO_PROXY");
    return lower == upper ? lower : "no_proxy and NO_PROXY differ";
}

void Write(const std::optional<std::string>& value) {
    SetEnv("no_proxy", value);
    SetEnv("NO_PROXY", value);
}

std::function<void()> Save() {
    return [lower = GetEnv("no_proxy"), upper = GetEnv("NO_PROXY")] {
        SetEnv("no_proxy", lower);
        SetEnv("NO_PROXY", upper);
    };
}

}  // namespace proxytest

namespace {

using proxytest::ProxyOverrideTest;

// Programs differ in which spelling they read: each list gets the host and comes back on its own,
// and a list set empty comes back set.
TEST_F(ProxyOverrideTest, EachSpellingKeepsItsOwnList) {
    testsupport::SetEnv("no_proxy", "");
    testsupport::SetEnv("NO_PROXY", "127.0.0.1");
    Browser::CExternalBrowserStarter starter(settings_, "/tmp/runtime");
    starter.AddHostToProxyOverride();
    EXPECT_EQ(testsupport::GetEnv("no_proxy"), "trailhost.test");
    EXPECT_EQ(testsupport::GetEnv("NO_PROXY"), "127.0.0.1,trailhost.test");
    starter.Stop();
    EXPECT_EQ(testsupport::GetEnv("no_proxy"), "");
    EXPECT_EQ(testsupport::GetEnv("NO_PROXY"), "127.0.0.1");
}

}  // namespace
