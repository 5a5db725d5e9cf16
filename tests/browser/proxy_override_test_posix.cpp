// The host as a proxy exception in no_proxy and NO_PROXY of the launcher's environment.
#include <gtest/gtest.h>

#include "browser/starters.h"
#include "browser_test_support.h"
#include "config/settings.h"

namespace {

using browsertest::GetEnv;
using browsertest::ScopedEnv;

class NoProxyTest : public ::testing::Test {
protected:
    NoProxyTest() : lower_("no_proxy", std::nullopt), upper_("NO_PROXY", std::nullopt) {
        settings_.hostName = "trailhost.test";
    }

    ScopedEnv lower_;
    ScopedEnv upper_;
    AppSettings settings_;
};

TEST_F(NoProxyTest, PreviousListsGetTheHostDuringTheRunAndComeBackAfter) {
    setenv("no_proxy", "localhost,.local", 1);
    setenv("NO_PROXY", "127.0.0.1", 1);
    Browser::CExternalBrowserStarter starter(settings_, "/tmp/runtime");
    starter.AddHostToProxyOverride();
    EXPECT_EQ(GetEnv("no_proxy"), "localhost,.local,trailhost.test");
    EXPECT_EQ(GetEnv("NO_PROXY"), "127.0.0.1,trailhost.test");
    starter.AddHostToProxyOverride();
    EXPECT_EQ(GetEnv("no_proxy"), "localhost,.local,trailhost.test");
    starter.Stop();
    EXPECT_EQ(GetEnv("no_proxy"), "localhost,.local");
    EXPECT_EQ(GetEnv("NO_PROXY"), "127.0.0.1");

    setenv("no_proxy", "changed later", 1);
    starter.Stop();
    EXPECT_EQ(GetEnv("no_proxy"), "changed later");
}

TEST_F(NoProxyTest, UnsetListsHoldTheHostDuringTheRunAndAreUnsetAfter) {
    setenv("NO_PROXY", "", 1);
    Browser::CInternetExplorerStarter starter(settings_, "/tmp/runtime");
    starter.AddHostToProxyOverride();
    EXPECT_EQ(GetEnv("no_proxy"), "trailhost.test");
    EXPECT_EQ(GetEnv("NO_PROXY"), "trailhost.test");
    starter.RestoreProxyOverride();
    EXPECT_EQ(GetEnv("no_proxy"), std::nullopt);
    EXPECT_EQ(GetEnv("NO_PROXY"), "");
}

TEST_F(NoProxyTest, StopWithoutStartLeavesTheListsAlone) {
    setenv("no_proxy", "user's own", 1);
    Browser::CSystemDefaultStarter byDefault(settings_, "/tmp/runtime");
    byDefault.Stop();
    Browser::CChromiumStarter chromium(settings_, "/tmp/runtime", "/none/chromium");
    chromium.Stop();
    EXPECT_EQ(GetEnv("no_proxy"), "user's own");
    EXPECT_EQ(GetEnv("NO_PROXY"), std::nullopt);
}

}  // namespace
