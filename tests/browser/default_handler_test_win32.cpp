// The system-default starter's choice from the registry of the build's own Wine prefix: the
// user's choice, the ".html" association, the ids' open commands and the installed browsers.
// Every key and value a case writes is put back as it was.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <optional>
#include <typeinfo>
#include <vector>

#include "browser/browser_lookup.h"
#include "browser/starters.h"
#include "browser_test_support.h"
#include "scoped_value_win32.h"
#include "config/settings.h"
#include "test_support.h"

namespace {

using namespace Browser;
using browsertest::ScopedValue;

// The places a case can fill; every other one is empty during the case.
enum Place {
    kHttpChoice,  // the user's choice for web addresses
    kHtmlChoice,  // the user's choice for HTML files
    kDotHtml,     // the classes' association of ".html"
    kEdgeAppPath,
    kEdgeCommand,
    kChromeUserCommand,  // in the user's own classes
    kChromeCommand,
    kFirefoxCommand,
    kMozillaCommand,
    kUnknownCommand,
    kPlaceCount
};

const std::string kFirefoxId = "FirefoxURL-308046B0AF4A39CB";
const std::string kUnknownId = "TrhTestBrowserURL";

// Where each place lies, in the order of Place.
std::vector<std::unique_ptr<ScopedValue>> MakePlaces() {
    const std::string command = "\\shell\\open\\command";
    const struct {
        HKEY root;
        std::string path;
        const char* name;
    } places[kPlaceCount] = {
        {HKEY_CURRENT_USER,
         "Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoice",
         "ProgId"},
        {HKEY_CURRENT_USER,
         "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.html\\UserChoice",
         "ProgId"},
        {HKEY_CLASSES_ROOT, ".html", ""},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\msedge.exe",
         ""},
        {HKEY_CLASSES_ROOT, "MSEdgeHTM" + command, ""},
        {HKEY_CURRENT_USER, "Software\\Classes\\ChromeHTML" + command, ""},
        {HKEY_CLASSES_ROOT, "ChromeHTML" + command, ""},
        {HKEY_CLASSES_ROOT, kFirefoxId + command, ""},
        {HKEY_CLASSES_ROOT, "MozillaHTML" + command, ""},
        {HKEY_CLASSES_ROOT, kUnknownId + command, ""},
    };
    std::vector<std::unique_ptr<ScopedValue>> made;
    for (const auto& place : places) {
        made.push_back(std::make_unique<ScopedValue>(place.root, place.path, place.name));
    }
    return made;
}

class DefaultHandlerTest : public ::testing::Test {
protected:
    // Destroyed in reverse order: each value goes back as it was.
    void TearDown() override {
        while (!places_.empty()) {
            places_.pop_back();
        }
    }

    struct Setting {
        Place place;
        std::string value;
    };

    // Empties every place, then fills the case's.
    void Fill(const std::vector<Setting>& settings) {
        for (auto& place : places_) {
            place->Remove();
        }
        for (const Setting& setting : settings) {
            places_[setting.place]->Set(setting.value);
        }
    }

    testsupport::TempDir dir_;
    const std::string edge_ = dir_ / "msedge.exe";
    std::vector<std::unique_ptr<ScopedValue>> places_ = MakePlaces();
    AppSettings settings_;
};

TEST_F(DefaultHandlerTest, TheUserChoiceDecidesAndInternetExplorerOnlyWhereItRuns) {
    const std::string edge = "C:\\Program Files (x86)\\Microsoft\\Edge\\Application\\msedge.exe";
    const std::string edgeCommand = "\"" + edge + "\" --single-argument %1";
    const std::string chrome = "C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe";
    const std::string firefoxCommand =
        "\"C:\\Program Files\\Mozilla Firefox\\firefox.exe\" -osint -url \"%1\"";
    const std::string unknownCommand = "\"C:\\Tools\\Web Browser\\launcher.exe\" --open \"%1\"";
    const std::string mozillaCommand = "\"C:\\Mozilla\\mozilla.exe\" -url \"%1\"";

    const auto chromium = typeid(CChromiumStarter).name();
    const auto firefox = typeid(CFirfoxStarter).name();
    const struct {
        const char* what;
        unsigned long windowsMajor;
        std::vector<Setting> registry;
        const char* starter;
        std::string handler;  // the handler's program or command, as the lookup gives it
    } cases[] = {
        {"Edge chosen for web addresses",
         10,
         {{kHttpChoice, "MSEdgeHTM"}, {kDotHtml, "htmlfile"}, {kEdgeCommand, edgeCommand}},
         chromium,
         edge},
        {"Chrome chosen for HTML files, its command from the user's own classes",
         10,
         {{kHtmlChoice, "ChromeHTML"},
          {kDotHtml, "htmlfile"},
          {kChromeUserCommand, "\"" + chrome + "\" --single-argument %1"},
          {kChromeCommand, "\"C:\\Elsewhere\\chrome.exe\" --single-argument %1"}},
         chromium,
         chrome},
        {"the choice for web addresses before the one for HTML files and the association",
         10,
         {{kHttpChoice, kFirefoxId},
          {kHtmlChoice, "MSEdgeHTM"},
          {kDotHtml, "ChromeHTML"},
          {kFirefoxCommand, firefoxCommand}},
         firefox,
         firefoxCommand},
        {"Firefox's id with its install's suffix, from the association alone",
         6,
         {{kDotHtml, kFirefoxId}, {kFirefoxCommand, firefoxCommand}},
         firefox,
         firefoxCommand},
        {"the Mozilla suite",
         6,
         {{kDotHtml, "MozillaHTML"}, {kMozillaCommand, mozillaCommand}},
         typeid(CMozillaStarter).name(),
         mozillaCommand},
        {"an unknown browser opens through its own command",
         10,
         {{kHttpChoice, kUnknownId}, {kUnknownCommand, unknownCommand}},
         typeid(CHandlerCommandStarter).name(),
         unknownCommand},
        {"Windows 10 with htmlfile: Edge, not Internet Explorer",
         10,
         {{kDotHtml, "htmlfile"}, {kEdgeAppPath, edge_}},
         chromium,
         edge_},
        {"Windows 11 with nothing chosen: Edge", 10, {{kEdgeAppPath, edge_}}, chromium, edge_},
        {"an unknown id without a command counts as nothing chosen",
         10,
         {{kHttpChoice, "AppXq0fevzme2pys62n3e0fbqa7peapykr8v"}, {kEdgeAppPath, edge_}},
         chromium,
         edge_},
        {"Windows 7 with htmlfile: Internet Explorer, which runs there",
         6,
         {{kDotHtml, "htmlfile"}, {kEdgeAppPath, edge_}},
         typeid(CInternetExplorerStarter).name(),
         ""},
    };
    testsupport::WriteFile(edge_, "stands for Edge");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fill(c.registry);
        const DefaultHandler handler = FindDefaultHandlerFor(c.windowsMajor);
        const auto chosen = CSystemDefaultStarter(settings_, "C:\\runtime\\").DelegateFor(handler);
        ASSERT_NE(chosen, nullptr);
        const CBrowserStarter& starter = *chosen;
        EXPECT_STREQ(typeid(starter).name(), c.starter);
        EXPECT_EQ(handler.program, c.handler);
        // The Chromium family runs the handler's program, an unknown browser its command.
        if (auto* run = dynamic_cast<CChromiumStarter*>(chosen.get())) {
            EXPECT_EQ(run->Executable(), c.handler);
        } else if (auto* command = dynamic_cast<CHandlerCommandStarter*>(chosen.get())) {
            EXPECT_EQ(command->Command(), c.handler);
        }
    }
}

}  // namespace
