// Which starter a browser type gives, and the fall-back to the system default when the chosen
// browser is not there.
#include <gtest/gtest.h>

#include "browser/starters.h"
#include "browser_test_support.h"
#include "config/settings.h"

namespace {

using namespace Browser;

template <typename Starter>
bool Is(const std::unique_ptr<CBrowserStarter>& starter) {
    return dynamic_cast<Starter*>(starter.get()) != nullptr;
}

TEST(StarterChoice, EachTypeGetsItsStarter) {
    AppSettings settings;
    const std::string runtime = testsupport::TempDir().path();
    EXPECT_EQ(CreateBrowserStarter(NONE, settings, runtime), nullptr);
    EXPECT_EQ(ChooseBrowserStarter(NONE, settings, runtime), nullptr);
    EXPECT_TRUE(Is<CInternetExplorerStarter>(CreateBrowserStarter(IEXPLORER, settings, runtime)));
    EXPECT_TRUE(Is<CMozillaStarter>(CreateBrowserStarter(MOZILLA, settings, runtime)));
    EXPECT_TRUE(Is<CFirfoxStarter>(CreateBrowserStarter(FIREFOX, settings, runtime)));
    EXPECT_TRUE(Is<CExternalBrowserStarter>(CreateBrowserStarter(EXTERNAL, settings, runtime)));
    EXPECT_TRUE(Is<CPortableFirefoxBrowserStarter>(
        CreateBrowserStarter(PORTABLEFIREFOX, settings, runtime)));
    EXPECT_TRUE(Is<CChromiumStarter>(CreateBrowserStarter(CHROMIUM, settings, runtime)));
    for (int type : {static_cast<int>(DEFAULT), 0, 3, 256, -1}) {
        SCOPED_TRACE(type);
        EXPECT_TRUE(Is<CSystemDefaultStarter>(CreateBrowserStarter(type, settings, runtime)));
    }
}

TEST(StarterChoice, BrowsersGivenByAMissingPathFallBackToTheDefault) {
    testsupport::TempDir dir;
    AppSettings settings;
    settings.browserPath = dir / "no such browser.exe";
    for (int type : {EXTERNAL, PORTABLEFIREFOX, CHROMIUM}) {
        SCOPED_TRACE(type);
        EXPECT_TRUE(Is<CSystemDefaultStarter>(ChooseBrowserStarter(type, settings, dir.path())));
    }
    settings.browserPath = testsupport::HelperPath("fake_browser");
    EXPECT_TRUE(Is<CExternalBrowserStarter>(ChooseBrowserStarter(EXTERNAL, settings, dir.path())));
    EXPECT_TRUE(Is<CPortableFirefoxBrowserStarter>(
        ChooseBrowserStarter(PORTABLEFIREFOX, settings, dir.path())));
    EXPECT_TRUE(Is<CChromiumStarter>(ChooseBrowserStarter(CHROMIUM, settings, dir.path())));
}

TEST(StarterChoice, InternetExplorerOnlyWhereItExists) {
    AppSettings settings;
    const auto starter = ChooseBrowserStarter(IEXPLORER, settings, testsupport::TempDir().path());
#ifdef _WIN32
    EXPECT_TRUE(Is<CInternetExplorerStarter>(starter));
#else
    EXPECT_TRUE(Is<CSystemDefaultStarter>(starter));
#endif
}

}  // namespace
