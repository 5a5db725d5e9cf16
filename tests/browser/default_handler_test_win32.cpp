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

    using Setting = std::pair<Place, std::string>;

    // Empties every place, then fills the case's.
    void Fill(const std::vector<Setting>& settings) {
        for (auto& place : places_) {
            place->Remove();
        }
        for (const auto& [place, value] : settings) {
            places_[place]->Set(value);
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
    const auto ie = typeid(CInternetExplorerStarter).name();
    const struct {
        unsigned long windowsMajor;
        const char* starter;
        std::string handler;  // the handler's program or command, as the lookup gives it
        std::vector<Setting> registry;
    } cases[] = {
        // Edge chosen for web addresses
        {10,
         chromium,
         edge,
         {{kHttpChoice, "MSEdgeHTM"}, {kDotHtml, "htmlfile"}, {kEdgeCommand, edgeCommand}}},
        // Chrome chosen for HTML files, its command from the user's own classes
        {10,
         chromium,
         chrome,
         {{kHtmlChoice, "ChromeHTML"},
          {kDotHtml, "htmlfile"},
          {kChromeUserCommand, "\"" + chrome + "\" --single-argument %1"},
          {kChromeCommand, "\"C:\\Elsewhere\\chrome.exe\" --single-argument %1"}}},
        // the choice for web addresses before the one for HTML files and the association
        {10,
         firefox,
         firefoxCommand,
         {{kHttpChoice, kFirefoxId},
          {kHtmlChoice, "MSEdgeHTM"},
          {kDotHtml, "ChromeHTML"},
          {kFirefoxCommand, firefoxCommand}}},
        // Firefox's id with its install's suffix, from the association alone
        {6, firefox, firefoxCommand, {{kDotHtml, kFirefoxId}, {kFirefoxCommand, firefoxCommand}}},
        // the Mozilla suite
        {6,
         typeid(CMozillaStarter).name(),
         mozillaCommand,
         {{kDotHtml, "MozillaHTML"}, {kMozillaCommand, mozillaCommand}}},
        // an unknown browser opens through its own command
        {10,
         typeid(CHandlerCommandStarter).name(),
         unknownCommand,
         {{kHttpChoice, kUnknownId}, {kUnknownCommand, unknownCommand}}},
        // Windows 10 with htmlfile: Edge, not Internet Explorer
        {10, chromium, edge_, {{kDotHtml, "htmlfile"}, {kEdgeAppPath, edge_}}},
        // Windows 11 with nothing chosen: Edge
        {10, chromium, edge_, {{kEdgeAppPath, edge_}}},
        // an unknown id without a command counts as nothing chosen
        {10,
         chromium,
         edge_,
         {{kHttpChoice, "AppXq0fevzme2pys62n3e0fbqa7peapykr8v"}, {kEdgeAppPath, edge_}}},
        // Windows 7 with htmlfile: Internet Explorer, which runs there
        {6, ie, "", {{kDotHtml, "htmlfile"}, {kEdgeAppPath, edge_}}},
    };
    testsupport::WriteFile(edge_, "stands for Edge");
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
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

// A Chromium browser without a path of the user's: the first of the family whose open command
// names a program that is there, else one installed with an application path.
TEST_F(DefaultHandlerTest, AChromiumBrowserIsFoundByItsOpenCommandOrItsApplicationPath) {
    const std::string chrome = dir_ / "chrome.exe";
    const std::string gone = "\"" + dir_ / "gone\\chrome.exe\" %1";
    testsupport::WriteFile(chrome, "");
    testsupport::WriteFile(edge_, "");
    const struct {
        std::vector<Setting> registry;
        std::string found;
    } rows[] = {
        {{{kChromeCommand, "\"" + chrome + "\" -- %1"}, {kEdgeCommand, "\"" + edge_ + "\" %1"}},
         chrome},
        {{{kChromeCommand, gone}, {kEdgeCommand, "\"" + edge_ + "\" %1"}}, edge_},
        {{{kChromeCommand, gone}, {kEdgeAppPath, edge_}}, edge_},
        {{{kChromeCommand, gone}}, ""},
    };
    for (const auto& row : rows) {
        Fill(row.registry);
        EXPECT_EQ(FindChromiumExecutable(), row.found) << row.found;
    }
}

}  // namespace
