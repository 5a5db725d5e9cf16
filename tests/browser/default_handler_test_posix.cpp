// The system-default starter on Linux: the handler that xdg-mime names and its desktop file,
// else a browser on PATH. xdg-mime and the browsers are helper programs in a private PATH; the
// desktop files live in a private data folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <typeinfo>
#include <vector>

#include "browser/starters.h"
#include "browser_test_support.h"
#include "config/settings.h"
#include "sys/message_box.h"

namespace {

namespace fs = std::filesystem;
using namespace Browser;
using testsupport::HelperPath;
using testsupport::ScopedEnv;

class DefaultHandlerTest : public ::testing::Test {
protected:
    DefaultHandlerTest() {
        for (const char* folder : {"bin", "home", "share/applications", "system/applications"}) {
            fs::create_directories(dir_ / folder);
        }
        settings_.hostName = "trailhost.test";
        settings_.serverName = "Trailhost";
    }

    void AddDesktopFile(const std::string& folder, const std::string& id, const std::string& exec) {
        testsupport::WriteFile(dir_ / (folder + "/applications/" + id),
                               "[Desktop Action new]\nExec=wrong %u\n\n[Desktop Entry]\n"
                               "Type=Application\nName=Browser\nExec = " +
                                   exec + "\nMimeType=text/html;\n");
    }

    testsupport::TempDir dir_;
    const ScopedEnv env_[6] = {{"PATH", dir_ / "bin"},
                               {"HOME", dir_ / "home"},
                               {"XDG_DATA_HOME", dir_ / "share"},
                               {"XDG_DATA_DIRS", dir_ / "system"},
                               {"FAKE_XDG_HTML_HANDLER", ""},
                               {"FAKE_BROWSER_LOG", dir_ / "log"}};
    AppSettings settings_;
};

// The handler's desktop file names the browser; without one, a browser on PATH, Firefox first.
TEST_F(DefaultHandlerTest, TheHandlerOrABrowserOnPathChoosesTheStarter) {
    AddDesktopFile("share", "chromium.desktop", "chromium %U");
    AddDesktopFile("system", "firefox-esr.desktop", dir_ / "bin/firefox-esr %u");
    AddDesktopFile("system", "other.desktop", "\"other browser\" --new-window %u");
    const struct {
        const char* handler;
        std::vector<const char*> programs;  // on PATH, beside xdg-mime
        const std::type_info& starter;
        const char* executable;  // the Chromium family's, below the private PATH
    } rows[] = {
        {"chromium.desktop", {"chromium", "firefox-esr"}, typeid(CChromiumStarter), "chromium"},
        {"firefox-esr.desktop", {"chromium", "firefox-esr"}, typeid(CFirfoxStarter), ""},
        {"other.desktop", {"chromium", "firefox-esr"}, typeid(CHandlerCommandStarter), ""},
        {"gone.desktop", {"google-chrome"}, typeid(CChromiumStarter), "google-chrome"},
        {"", {"google-chrome", "firefox"}, typeid(CFirfoxStarter), ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.handler);
        fs::remove_all(dir_ / "bin");
        fs::create_directories(dir_ / "bin");
        fs::remove(dir_ / "log");
        fs::copy_file(HelperPath("browser_xdg_mime"), dir_ / "bin/xdg-mime");
        for (const char* program : row.programs) {
            fs::copy_file(HelperPath("fake_browser"), dir_ / (std::string("bin/") + program));
        }
        testsupport::SetEnv("FAKE_XDG_HTML_HANDLER", row.handler);
        const auto chosen = CSystemDefaultStarter(settings_, dir_ / "runtime").ChooseDelegate();
        ASSERT_NE(chosen, nullptr);
        const CBrowserStarter& starter = *chosen;
        EXPECT_STREQ(typeid(starter).name(), row.starter.name());
        EXPECT_TRUE(chosen->IsAvailable() || row.starter == typeid(CHandlerCommandStarter));
        if (auto* chromium = dynamic_cast<CChromiumStarter*>(chosen.get())) {
            EXPECT_EQ(chromium->Executable(), dir_ / "bin/" + row.executable);
        }
        EXPECT_TRUE(browsertest::HasLine(testsupport::ReadFile(dir_ / "log"),
                                         "xdg-mime query default text/html"));
    }
}

TEST_F(DefaultHandlerTest, NoBrowserAtAllStartsNothing) {
    std::string shown;
    const MessageBoxHandler old =
        SetMessageBoxHandler([&](const std::string& text, const std::string& caption, unsigned) {
            shown += caption + ": " + text + "\n";
            return 1;
        });
    CSystemDefaultStarter starter(settings_, dir_ / "runtime");
    starter.StartWithUrl("http://trailhost.test:4001/");
    starter.Stop();
    SetMessageBoxHandler(old);
    EXPECT_EQ(shown, "Error: No web browser was found to open http://trailhost.test:4001/\n");
}

// The whole hand-over through the default handler: the started program is the browser, and
// Start returns when it ends.
TEST_F(DefaultHandlerTest, RunOpensTheUrlInTheHandlersBrowserAndWaitsForIt) {
    fs::copy_file(HelperPath("browser_xdg_mime"), dir_ / "bin/xdg-mime");
    fs::copy_file(HelperPath("fake_browser"), dir_ / "bin/chromium-browser");
    AddDesktopFile("share", "chromium-browser.desktop", "chromium-browser %U");
    testsupport::SetEnv("FAKE_XDG_HTML_HANDLER", "chromium-browser.desktop");
    browsertest::AnsweringServer server;

    CSystemDefaultStarter starter(settings_, dir_ / "runtime");
    starter.StartWithUrl(server.Url("trailhost.test"));

    const std::string log = testsupport::ReadFile(dir_ / "log");
    EXPECT_TRUE(
        browsertest::HasLine(log, "arg=--user-data-dir=" + dir_ / "runtime/browser-profile"))
        << log;
    EXPECT_TRUE(browsertest::HasLine(log, "status HTTP/1.1 200 OK")) << log;
    EXPECT_TRUE(browsertest::HasLine(log, "exit")) << log;
    starter.Stop();
}

}  // namespace
