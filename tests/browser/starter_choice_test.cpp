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
    EXPECT_EQ(CreateBrowserStarter(BrowserType::NONE, settings, runtime), nullptr);
    EXPECT_EQ(ChooseBrowserStarter(BrowserType::NONE, settings, runtime), nullptr);
    EXPECT_TRUE(Is<CInternetExplorerStarter>(
        CreateBrowserStarter(BrowserType::IEXPLORER, settings, runtime)));
    EXPECT_TRUE(Is<CMozillaStarter>(CreateBrowserStarter(BrowserType::MOZILLA, settings, runtime)));
    EXPECT_TRUE(Is<CFirfoxStarter>(CreateBrowserStarter(BrowserType::FIREFOX, settings, runtime)));
    EXPECT_TRUE(Is<CExternalBrowserStarter>(
        CreateBrowserStarter(BrowserType::EXTERNAL, settings, runtime)));
    EXPECT_TRUE(Is<CPortableFirefoxBrowserStarter>(
        CreateBrowserStarter(BrowserType::PORTABLEFIREFOX, settings, runtime)));
    EXPECT_TRUE(
        Is<CChromiumStarter>(CreateBrowserStarter(BrowserType::CHROMIUM, settings, runtime)));
    for (int type : {static_cast<int>(BrowserType::DEFAULT), 0, 3, 256, -1}) {
        SCOPED_TRACE(type);
        EXPECT_TRUE(Is<CSystemDefaultStarter>(
            CreateBrowserStarter(static_cast<BrowserType>(type), settings, runtime)));
    }
}

TEST(StarterChoice, BrowsersGivenByAMissingPathFallBackToTheDefault) {
    testsupport::TempDir dir;
    AppSettings settings;
    settings.browserPath = dir / "no such browser.exe";
    for (BrowserType type :
         {BrowserType::EXTERNAL, BrowserType::PORTABLEFIREFOX, BrowserType::CHROMIUM}) {
        SCOPED_TRACE(static_cast<int>(type));
        EXPECT_TRUE(Is<CSystemDefaultStarter>(ChooseBrowserStarter(type, settings, dir.path())));
    }
    settings.browserPath = testsupport::HelperPath("fake_browser");
    EXPECT_TRUE(Is<CExternalBrowserStarter>(
        ChooseBrowserStarter(BrowserType::EXTERNAL, settings, dir.path())));
    EXPECT_TRUE(Is<CPortableFirefoxBrowserStarter>(
        ChooseBrowserStarter(BrowserType::PORTABLEFIREFOX, settings, dir.path())));
    EXPECT_TRUE(
        Is<CChromiumStarter>(ChooseBrowserStarter(BrowserType::CHROMIUM, settings, dir.path())));
}

TEST(StarterChoice, InternetExplorerOnlyWhereItExists) {
    AppSettings settings;
    const auto starter =
        ChooseBrowserStarter(BrowserType::IEXPLORER, settings, testsupport::TempDir().path());
#ifdef _WIN32
    EXPECT_TRUE(Is<CInternetExplorerStarter>(starter));
#else
    EXPECT_TRUE(Is<CSystemDefaultStarter>(starter));
#endif
}

}  // namespace
