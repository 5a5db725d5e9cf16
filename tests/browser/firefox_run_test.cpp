// A whole Firefox run with a helper program registered as Firefox (Windows: its open command in
// the build's own Wine prefix; Linux: "firefox" on a private PATH) and a private user folder: the
// browser runs on a profile of the run's own, and afterwards the user's folders hold exactly what
// they held before, whether Firefox ever ran here or not; only a file the user saved stays.
#include <gtest/gtest.h>

#include <filesystem>
#include <future>

#include "browser/starters.h"
#include "browser_test_support.h"
#include "config/settings.h"
#include "fault_support.h"
#include "stack/run_journal.h"

#ifdef _WIN32
#include "scoped_value_win32.h"
#endif

namespace {

namespace fs = std::filesystem;
using namespace Browser;
using browsertest::AwaitLine;
using browsertest::HasLine;
using testsupport::FileTree;
using testsupport::GetEnv;
using testsupport::ReadFile;
using testsupport::ScopedEnv;

// The run closed from the tray while the browser shows the page. The user's own profile named
// like the server, and a profile list with mixed line ends, stay as they are.
TEST(FirefoxRun, TheUsersFoldersHoldAfterwardsWhatTheyHeldBefore) {
    testsupport::TempDir dir;
#ifdef _WIN32
    // The helper as the registered Firefox; Windows asks the shell for the application-data
    // folder, which the starter is told below.
    browsertest::ScopedValue registered(HKEY_CLASSES_ROOT, "FirefoxHTML\\shell\\open\\command", "");
    registered.Set("\"" + testsupport::HelperPath("fake_browser") +
                   "\" -requestPending -osint -url \"%1\"");
    const ScopedEnv user("APPDATA", dir / "user");
    const std::string root = dir / "user/Mozilla/Firefox/";
#else
    const ScopedEnv user("HOME", dir / "user");
    const ScopedEnv path("PATH", dir / "bin");
    const ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
    const ScopedEnv cache("XDG_CACHE_HOME", std::nullopt);
    for (const char* bin : {"bin", "flatpak/exports/bin"}) {
        fs::create_directories(dir / bin);
        fs::copy_file(testsupport::HelperPath("fake_browser"),
                      dir / (std::string(bin) + "/firefox"));
    }
    const std::string root = dir / "user/.mozilla/firefox/";
#endif
    const ScopedEnv log("FAKE_BROWSER_LOG", dir / "log");
    const ScopedEnv until("FAKE_BROWSER_UNTIL", dir / "closed");
    const ScopedEnv noRemote("MOZ_NO_REMOTE", std::nullopt);
    const ScopedEnv noProxy("no_proxy", std::nullopt);
    AppSettings settings;
    settings.hostName = "trailhost.test";
    settings.serverName = "Trailhost";
    const struct {
        const char* what;
        bool firefoxRan;
        std::string saved;         // a file the user saves into the downloads folder
        bool killed = false;       // the launcher is killed, and the next start undoes the journal
        bool profileHeld = false;  // nothing in the profile can be deleted
        bool flatpak = false;      // Firefox is a sandboxed package, which sees the home folder
    } rows[] = {
        {"Firefox ran here before", true, ""},
        {"Firefox never ran here", false, ""},
#ifndef _WIN32
        // The helper saves into a downloads folder of the home folder, which Linux has.
        {"the user saves a file meanwhile", false, "report.pdf"},
        {"the launcher is killed", false, "report.pdf", true},
        {"the profile cannot go", false, "", false, true},
        {"Firefox from Flatpak", false, "", false, false, true},
#endif
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove_all(dir / "user");
        fs::remove_all(dir / "runtime");
        fs::create_directories(dir / "runtime");
        fs::remove(dir / "log");
        if (row.firefoxRan) {
            fs::create_directories(root + "abcd.default");
            fs::create_directories(root + "abcd.Trailhost");
            testsupport::WriteFile(root + "profiles.ini",
                                   "[General]\r\nStartWithLastProfile=1\r\n\r\n[Profile0]\nName="
                                   "Trailhost\nIsRelative=1\nPath=abcd.Trailhost\n; the end");
        }
        fs::create_directories(dir / "user");
        std::string profiles = dir / "runtime";
#ifndef _WIN32
        const ScopedEnv rowPath("PATH", dir / (row.flatpak ? "flatpak/exports/bin" : "bin"));
        if (row.flatpak) {
            profiles = dir / "user/.var/app/org.mozilla.firefox/trailhost-runtime";
            fs::create_directories(dir / "user/.var/app/org.mozilla.firefox");
        }
#endif
        auto before = FileTree(dir / "user");
        ScopedEnv save("FAKE_FIREFOX_SAVE",
                       row.saved.empty() ? std::nullopt : std::optional<std::string>(row.saved));
        browsertest::AnsweringServer server;
        const std::string url = server.Url("trailhost.test");

        auto starter = ChooseBrowserStarter(BrowserType::FIREFOX, settings, dir / "runtime");
        auto* firefox = dynamic_cast<CFirfoxStarter*>(starter.get());
        ASSERT_NE(firefox, nullptr);
#ifdef _WIN32
        starter->SetUserFolder(dir / "user");
#endif
        auto run = std::async(std::launch::async, [&] { starter->StartWithUrl(url); });
        ASSERT_TRUE(AwaitLine(dir / "log", "status HTTP/1.1 200 OK"));

        // The browser runs on the run's own profile, with crash reports off, and the launcher's
        // own environment is left as it was.
        const std::string profile = firefox->ProfileFolder();
        EXPECT_EQ(profile.rfind(profiles, 0), 0u) << profile;
        const std::string text = ReadFile(dir / "log");
        for (const std::string& line : std::vector<std::string>{
                 "arg=-url", "arg=" + url, "arg=-no-remote", "arg=-profile", "arg=" + profile,
                 "prefs given", "env MOZ_NO_REMOTE=1", "env MOZ_CRASHREPORTER_DISABLE=1"}) {
            EXPECT_TRUE(HasLine(text, line)) << line << "\n" << text;
        }
        EXPECT_FALSE(HasLine(text, "arg=-osint")) << text;
        EXPECT_EQ(GetEnv("MOZ_NO_REMOTE"), std::nullopt);
#ifndef _WIN32
        EXPECT_TRUE(HasLine(text, "env no_proxy=trailhost.test")) << text;
#endif

        bool stuck = false;
#ifndef _WIN32
        std::optional<testsupport::Immutable> held;
        if (row.profileHeld) {
            stuck = held.emplace(profile).ok();
        }
#endif
        // The tray's Close: the browser is ended and everything it made goes.
        if (row.killed) {
            EXPECT_TRUE(UndoBrowserChanges(ReadJournal(dir / "runtime")).empty());
        } else {
            starter->Stop();
            ASSERT_EQ(run.wait_for(browsertest::kEventLimit), std::future_status::ready);
        }
        EXPECT_EQ(fs::exists(profile), stuck);
        EXPECT_EQ(starter->UndidEverything(), !stuck);
        if (!row.saved.empty()) {
            before["Downloads"] = "<folder>";
            before["Downloads/" + row.saved] = "saved by the user\n";
        }
        EXPECT_EQ(FileTree(dir / "user"), before);
        starter->Stop();
        EXPECT_EQ(run.wait_for(browsertest::kEventLimit), std::future_status::ready);
#ifndef _WIN32
        EXPECT_EQ(GetEnv("no_proxy"), std::nullopt);
#endif
    }
}

}  // namespace
