// The user's proxy exceptions get the host during the run and are put back once, on both
// platforms.
#include "proxy_override_test.h"

#include "browser/starters.h"

namespace {

using proxytest::kTexts;
using proxytest::ProxyOverrideTest;
using proxytest::Read;
using proxytest::Write;

TEST_F(ProxyOverrideTest, PreviousValueGetsTheHostDuringTheRunAndComesBackOnce) {
    Write(kTexts.user);
    Browser::CExternalBrowserStarter starter(settings_, "runtime");
    starter.AddHostToProxyOverride();
    EXPECT_EQ(Read(), kTexts.userWithHost);
    // A second call must not take the changed value for the old one.
    starter.AddHostToProxyOverride();
    EXPECT_EQ(Read(), kTexts.userWithHost);
    starter.Stop();
    EXPECT_EQ(Read(), kTexts.user);
    // Put back once: what the user sets afterwards stays.
    Write("changed later");
    starter.Stop();
    EXPECT_EQ(Read(), "changed later");
}

TEST_F(ProxyOverrideTest, NoPreviousValueHoldsTheHostAlone) {
    Write(std::nullopt);
    Browser::CInternetExplorerStarter starter(settings_, "runtime");
    starter.AddHostToProxyOverride();
    EXPECT_EQ(Read(), kTexts.hostAlone);
    starter.RestoreProxyOverride();
    EXPECT_EQ(Read(), kTexts.emptied);
}

TEST_F(ProxyOverrideTest, StopWithoutStartLeavesTheValueAlone) {
    Write("user's own");
    Browser::CSystemDefaultStarter byDefault(settings_, "runtime");
    byDefault.Stop();
    Browser::CChromiumStarter chromium(settings_, "runtime", "none-chrome");
    chromium.Stop();
    EXPECT_EQ(Read(), "user's own");
}

}  // namespace
