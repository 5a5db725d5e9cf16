// The system-default starter on Linux: the handler that xdg-mime names and its desktop file,
// else a browser on PATH. xdg-mime and the browsers are helper programs in a private PATH; the
// desktop files live in a private data folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <future>

#include "browser/starters.h"
#include "browser_test_support.h"
#include "config/settings.h"
#include "sys/message_box.h"

namespace {

namespace fs = std::filesystem;
using namespace Browser;
using browsertest::ScopedEnv;
using testsupport::HelperPath;

class DefaultHandlerTest : public ::testing::Test {
protected:
    DefaultHandlerTest()
        : path_("PATH", dir_ / "bin"),
          home_("HOME", dir_ / "home"),
          dataHome_("XDG_DATA_HOME", dir_ / "share"),
          dataDirs_("XDG_DATA_DIRS", dir_ / "system"),
          handler_("FAKE_XDG_HTML_HANDLER", ""),
          log_("FAKE_BROWSER_LOG", dir_ / "log") {
        fs::create_directories(dir_ / "bin");
        fs::create_directories(dir_ / "home");
        fs::create_directories(dir_ / "share/applications");
        fs::create_directories(dir_ / "system/applications");
        settings_.hostName = "trailhost.test";
        settings_.serverName = "Trailhost";
    }

    void AddProgram(const std::string& helper, const std::string& name) {
        fs::copy_file(HelperPath(helper), dir_ / ("bin/" + name));
    }
    void AddDesktopFile(const std::string& folder, const std::string& id, const std::string& exec) {
        testsupport::WriteFile(dir_ / (folder + "/applications/" + id),
                               "[Desktop Action new]\nExec=wrong %u\n\n[Desktop Entry]\n"
                               "Type=Application\nName=Browser\nExec = " +
                                   exec + "\nMimeType=text/html;\n");
    }
    void SetHandler(const std::string& id) { browsertest::SetEnv("FAKE_XDG_HTML_HANDLER", id); }

    std::unique_ptr<CBrowserStarter> Delegate() {
        return CSystemDefaultStarter(settings_, dir_ / "runtime").ChooseDelegate();
    }

    testsupport::TempDir dir_;
    ScopedEnv path_;
    ScopedEnv home_;
    ScopedEnv dataHome_;
    ScopedEnv dataDirs_;
    ScopedEnv handler_;
    ScopedEnv log_;
    AppSettings settings_;
};

TEST_F(DefaultHandlerTest, DesktopHandlerChoosesTheStarterOfItsBrowser) {
    AddProgram("browser_xdg_mime", "xdg-mime");
    AddProgram("fake_browser", "chromium");
    AddProgram("browser_firefox", "firefox-esr");
    AddDesktopFile("share", "chromium.desktop", "chromium %U");
    AddDesktopFile("system", "firefox-esr.desktop", dir_ / "bin/firefox-esr %u");
    AddDesktopFile("system", "other.desktop", "\"other browser\" --new-window %u");

    SetHandler("chromium.desktop");
    auto chosen = Delegate();
    auto* chromium = dynamic_cast<CChromiumStarter*>(chosen.get());
    ASSERT_NE(chromium, nullptr);
    EXPECT_EQ(chromium->Executable(), dir_ / "bin/chromium");
    EXPECT_TRUE(chromium->IsAvailable());
    EXPECT_TRUE(browsertest::HasLine(testsupport::ReadFile(dir_ / "log"),
                                     "xdg-mime query default text/html"));

    SetHandler("firefox-esr.desktop");
    chosen = Delegate();
    ASSERT_NE(dynamic_cast<CFirfoxStarter*>(chosen.get()), nullptr);
    EXPECT_TRUE(chosen->IsAvailable());

    SetHandler("other.desktop");
    chosen = Delegate();
    EXPECT_NE(dynamic_cast<CHandlerCommandStarter*>(chosen.get()), nullptr);
}

TEST_F(DefaultHandlerTest, WithoutADesktopHandlerABrowserOnPathIsUsed) {
    AddProgram("browser_xdg_mime", "xdg-mime");
    AddProgram("fake_browser", "google-chrome");
    SetHandler("gone.desktop");
    auto chosen = Delegate();
    auto* chromium = dynamic_cast<CChromiumStarter*>(chosen.get());
    ASSERT_NE(chromium, nullptr);
    EXPECT_EQ(chromium->Executable(), dir_ / "bin/google-chrome");

    // Firefox comes first.
    AddProgram("browser_firefox", "firefox");
    SetHandler("");
    chosen = Delegate();
    EXPECT_NE(dynamic_cast<CFirfoxStarter*>(chosen.get()), nullptr);
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
    AddProgram("browser_xdg_mime", "xdg-mime");
    AddProgram("fake_browser", "chromium-browser");
    AddDesktopFile("share", "chromium-browser.desktop", "chromium-browser %U");
    SetHandler("chromium-browser.desktop");
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
