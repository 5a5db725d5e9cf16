// Which starter a browser type gives, and the fall-back to the system default when the chosen
// browser is not there.
#include <gtest/gtest.h>

#include <typeinfo>

#include "browser/starters.h"
#include "config/settings.h"
#include "test_support.h"

namespace {

using namespace Browser;

template <typename Starter>
std::string Name() {
    return typeid(Starter).name();
}

std::string NameOf(const std::unique_ptr<CBrowserStarter>& starter) {
    if (!starter) {
        return "none";
    }
    const CBrowserStarter& object = *starter;
    return typeid(object).name();
}

TEST(StarterChoice, EachTypeGetsItsStarterAndABrowserThatIsNotThereTheDefault) {
    testsupport::TempDir dir;
    const std::string byDefault = Name<CSystemDefaultStarter>();
#ifdef _WIN32
    const std::string internetExplorer = Name<CInternetExplorerStarter>();
#else
    const std::string internetExplorer = byDefault;
#endif
    const struct {
        BrowserType type;
        std::string created;
        std::string chosenWithoutBrowser;  // empty where the machine's browsers decide
        std::string chosenWithBrowser;
    } rows[] = {
        {BrowserType::NONE, "none", "none", "none"},
        {BrowserType::IEXPLORER, Name<CInternetExplorerStarter>(), internetExplorer,
         internetExplorer},
        {BrowserType::MOZILLA, Name<CMozillaStarter>(), "", ""},
        {BrowserType::FIREFOX, Name<CFirfoxStarter>(), "", ""},
        {BrowserType::EXTERNAL, Name<CExternalBrowserStarter>(), byDefault,
         Name<CExternalBrowserStarter>()},
        {BrowserType::PORTABLEFIREFOX, Name<CPortableFirefoxBrowserStarter>(), byDefault,
         Name<CPortableFirefoxBrowserStarter>()},
        {BrowserType::CHROMIUM, Name<CChromiumStarter>(), byDefault, Name<CChromiumStarter>()},
        {BrowserType::DEFAULT, byDefault, "", ""},
        {BrowserType{}, byDefault, "", ""},
        {BrowserType{3}, byDefault, "", ""},
        {BrowserType{256}, byDefault, "", ""},
        {BrowserType{-1}, byDefault, "", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.type));
        AppSettings settings;
        settings.browserPath = dir / "no such browser.exe";
        EXPECT_EQ(NameOf(CreateBrowserStarter(row.type, settings, dir.path())), row.created);
        if (!row.chosenWithoutBrowser.empty()) {
            EXPECT_EQ(NameOf(ChooseBrowserStarter(row.type, settings, dir.path())),
                      row.chosenWithoutBrowser);
            settings.browserPath = testsupport::HelperPath("fake_browser");
            EXPECT_EQ(NameOf(ChooseBrowserStarter(row.type, settings, dir.path())),
                      row.chosenWithBrowser);
        }
    }
}

}  // namespace
