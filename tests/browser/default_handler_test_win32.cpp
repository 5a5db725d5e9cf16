// The system-default starter's choice from the registry of the build's own Wine prefix: the
// user's choice, the ".html" association, the ids' open commands and the installed browsers.
// Every key and value a case writes is put back as it was.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <optional>
#include <ostream>
#include <vector>

#include "browser/browser_lookup.h"
#include "browser/starters.h"
#include "browser_test_support.h"
#include "config/settings.h"
#include "test_support.h"

namespace {

using namespace Browser;

std::optional<std::string> ReadValue(HKEY root, const std::string& path, const char* name) {
    char value[2048] = {};
    DWORD size = sizeof(value) - 1;
    if (RegGetValueA(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) != 0) {
        return std::nullopt;
    }
    return std::string(value);
}

bool KeyExists(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != 0) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// One registry value that the cases set or remove; the destructor puts back what was there,
// deleting the keys that the value's writing created.
class ScopedValue {
public:
    ScopedValue(HKEY root, std::string path, std::string name)
        : root_(root), path_(std::move(path)), name_(std::move(name)) {
        old_ = ReadValue(root_, path_, name_.c_str());
        // The first key of the path that is not there yet goes again as a whole.
        std::string::size_type end = 0;
        do {
            end = path_.find('\\', end + 1);
            const std::string prefix = path_.substr(0, end);
            if (!KeyExists(root_, prefix)) {
                created_ = prefix;
                break;
            }
        } while (end != std::string::npos);
    }
    ~ScopedValue() {
        if (!created_.empty()) {
            RegDeleteTreeA(root_, created_.c_str());
        } else if (old_) {
            Set(*old_);
        } else {
            RegDeleteKeyValueA(root_, path_.c_str(), name_.c_str());
        }
    }
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;

    void Set(const std::string& value) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  0)
            << path_;
        RegSetValueExA(key, name_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
        RegCloseKey(key);
    }
    void Remove() {
        if (!created_.empty()) {
            RegDeleteTreeA(root_, created_.c_str());
        } else {
            RegDeleteKeyValueA(root_, path_.c_str(), name_.c_str());
        }
    }

private:
    HKEY root_;
    std::string path_;
    std::string name_;
    std::optional<std::string> old_;
    std::string created_;
};

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

enum class Starter { kInternetExplorer, kFirefox, kMozilla, kChromium, kHandlerCommand };

std::ostream& operator<<(std::ostream& out, Starter starter) {
    static const char* const kNames[] = {"Internet Explorer", "Firefox", "Mozilla", "Chromium",
                                         "handler command"};
    return out << kNames[static_cast<int>(starter)];
}

Starter KindOf(CBrowserStarter* starter) {
    if (dynamic_cast<CFirfoxStarter*>(starter) != nullptr) {
        return Starter::kFirefox;
    }
    if (dynamic_cast<CMozillaStarter*>(starter) != nullptr) {
        return Starter::kMozilla;
    }
    if (dynamic_cast<CChromiumStarter*>(starter) != nullptr) {
        return Starter::kChromium;
    }
    if (dynamic_cast<CHandlerCommandStarter*>(starter) != nullptr) {
        return Starter::kHandlerCommand;
    }
    EXPECT_NE(dynamic_cast<CInternetExplorerStarter*>(starter), nullptr);
    return Starter::kInternetExplorer;
}

// What the chosen starter starts: the Chromium family's executable, the handler's or the Mozilla
// line's command; nothing for Internet Explorer, which reads its own registration.
std::string ProgramOf(CBrowserStarter* starter) {
    if (auto* chromium = dynamic_cast<CChromiumStarter*>(starter)) {
        return chromium->Executable();
    }
    if (auto* handler = dynamic_cast<CHandlerCommandStarter*>(starter)) {
        return handler->Command();
    }
    return "";
}

class DefaultHandlerTest : public ::testing::Test {
protected:
    void SetUp() override {
        places_ = MakePlaces();
        edge_ = dir_ / "msedge.exe";
        testsupport::WriteFile(edge_, "stands for Edge");
    }
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

    std::unique_ptr<CBrowserStarter> Choose(unsigned long windowsMajor, DefaultHandler& handler) {
        handler = FindDefaultHandlerFor(windowsMajor);
        return CSystemDefaultStarter(settings_, "C:\\runtime\\").DelegateFor(handler);
    }

    testsupport::TempDir dir_;
    std::string edge_;
    std::vector<std::unique_ptr<ScopedValue>> places_;
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

    const struct {
        const char* what;
        unsigned long windowsMajor;
        std::vector<Setting> registry;
        Starter starter;
        std::string program;  // what the starter runs
        std::string handler;  // the handler's program or command, as the lookup gives it
    } cases[] = {
        {"Edge chosen for web addresses",
         10,
         {{kHttpChoice, "MSEdgeHTM"}, {kDotHtml, "htmlfile"}, {kEdgeCommand, edgeCommand}},
         Starter::kChromium,
         edge,
         edge},
        {"Chrome chosen for HTML files, its command from the user's own classes",
         10,
         {{kHtmlChoice, "ChromeHTML"},
          {kDotHtml, "htmlfile"},
          {kChromeUserCommand, "\"" + chrome + "\" --single-argument %1"},
          {kChromeCommand, "\"C:\\Elsewhere\\chrome.exe\" --single-argument %1"}},
         Starter::kChromium,
         chrome,
         chrome},
        {"the choice for web addresses before the one for HTML files and the association",
         10,
         {{kHttpChoice, kFirefoxId},
          {kHtmlChoice, "MSEdgeHTM"},
          {kDotHtml, "ChromeHTML"},
          {kFirefoxCommand, firefoxCommand}},
         Starter::kFirefox,
         "",
         firefoxCommand},
        {"Firefox's id with its install's suffix, from the association alone",
         6,
         {{kDotHtml, kFirefoxId}, {kFirefoxCommand, firefoxCommand}},
         Starter::kFirefox,
         "",
         firefoxCommand},
        {"the Mozilla suite",
         6,
         {{kDotHtml, "MozillaHTML"}, {kMozillaCommand, mozillaCommand}},
         Starter::kMozilla,
         "",
         mozillaCommand},
        {"an unknown browser opens through its own command",
         10,
         {{kHttpChoice, kUnknownId}, {kUnknownCommand, unknownCommand}},
         Starter::kHandlerCommand,
         unknownCommand,
         unknownCommand},
        {"Windows 10 with htmlfile: Edge, not Internet Explorer",
         10,
         {{kDotHtml, "htmlfile"}, {kEdgeAppPath, edge_}},
         Starter::kChromium,
         edge_,
         edge_},
        {"Windows 11 with nothing chosen: Edge",
         10,
         {{kEdgeAppPath, edge_}},
         Starter::kChromium,
         edge_,
         edge_},
        {"an unknown id without a command counts as nothing chosen",
         10,
         {{kHttpChoice, "AppXq0fevzme2pys62n3e0fbqa7peapykr8v"}, {kEdgeAppPath, edge_}},
         Starter::kChromium,
         edge_,
         edge_},
        {"Windows 7 with htmlfile: Internet Explorer, which runs there",
         6,
         {{kDotHtml, "htmlfile"}, {kEdgeAppPath, edge_}},
         Starter::kInternetExplorer,
         "",
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fill(c.registry);
        DefaultHandler handler;
        const auto chosen = Choose(c.windowsMajor, handler);
        ASSERT_NE(chosen, nullptr);
        EXPECT_EQ(KindOf(chosen.get()), c.starter);
        EXPECT_EQ(ProgramOf(chosen.get()), c.program);
        EXPECT_EQ(handler.program, c.handler);
    }
}

}  // namespace
