// A whole Firefox run with a helper program registered as Firefox (Windows: its open command in
// the build's own Wine prefix; Linux: "firefox" on a private PATH) and a private user folder: the
// browser runs on a profile of the run's own, and afterwards the user's folders hold exactly what
// they held before, whether Firefox ever ran here or not; only a file the user saved stays.
#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <map>

#include "browser/starters.h"
#include "browser_test_support.h"
#include "config/settings.h"

#ifdef _WIN32
#include "scoped_value_win32.h"
#endif

namespace {

namespace fs = std::filesystem;
using namespace Browser;
using browsertest::AwaitLine;
using browsertest::HasLine;
using testsupport::GetEnv;
using testsupport::ReadFile;
using testsupport::ScopedEnv;

#ifdef _WIN32
const char kUserVariable[] = "APPDATA";
const char kFirefoxRoot[] = "Mozilla/Firefox/";

#else
const char kUserVariable[] = "HOME";
const char kFirefoxRoot[] = ".mozilla/firefox/";
#endif

// Every folder and file below `root`, with the files' contents.
std::map<std::string, std::string> Tree(const fs::path& root) {
    std::map<std::string, std::string> tree;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error);
         it != fs::recursive_directory_iterator(); it.increment(error)) {
        const std::string name = fs::relative(it->path(), root).generic_string();
        tree[name] = it->is_directory() ? "<folder>" : ReadFile(it->path().string());
    }
    return tree;
}

class FirefoxRunTest : public ::testing::Test {
protected:
    FirefoxRunTest()
        : user_(kUserVariable, dir_ / "user"),
          log_("FAKE_BROWSER_LOG", dir_ / "log"),
          until_("FAKE_BROWSER_UNTIL", dir_ / "closed"),
          noRemote_("MOZ_NO_REMOTE", std::nullopt),
          noProxy_("no_proxy", std::nullopt)
#ifndef _WIN32
          ,
          path_("PATH", dir_ / "bin"),
          config_("XDG_CONFIG_HOME", std::nullopt),
          cache_("XDG_CACHE_HOME", std::nullopt)
#endif
    {
        fs::create_directories(dir_ / "user");
        fs::create_directories(dir_ / "runtime");
#ifdef _WIN32
        registered_.Set("\"" + testsupport::HelperPath("fake_browser") +
                        "\" -requestPending -osint -url \"%1\"");
#endif
        settings_.hostName = "trailhost.test";
        settings_.serverName = "Trailhost";
#ifndef _WIN32
        fs::create_directories(dir_ / "bin");
        fs::copy_file(testsupport::HelperPath("fake_browser"), dir_ / "bin/firefox");
#endif
    }

    std::unique_ptr<CBrowserStarter> MakeStarter() {
        auto starter = ChooseBrowserStarter(FIREFOX, settings_, dir_ / "runtime");
#ifdef _WIN32
        // Windows asks the shell for the application-data folder; Linux reads HOME.
        if (starter) {
            starter->SetUserFolder(dir_ / "user");
        }
#endif
        return starter;
    }

    testsupport::TempDir dir_;
#ifdef _WIN32
    // The helper as the registered Firefox.
    browsertest::ScopedValue registered_{HKEY_CLASSES_ROOT, "FirefoxHTML\\shell\\open\\command",
                                         ""};
#endif
    ScopedEnv user_;
    ScopedEnv log_;
    ScopedEnv until_;
    ScopedEnv noRemote_;
    ScopedEnv noProxy_;
#ifndef _WIN32
    ScopedEnv path_;
    ScopedEnv config_;
    ScopedEnv cache_;
#endif
    AppSettings settings_;
};

// The run closed from the tray while the browser shows the page. The user's own profile named
// like the server, and a profile list with mixed line ends, stay as they are.
TEST_F(FirefoxRunTest, TheUsersFoldersHoldAfterwardsWhatTheyHeldBefore) {
    const struct {
        const char* what;
        bool firefoxRan;
        std::string saved;  // a file the user saves into the downloads folder
    } rows[] = {
        {"Firefox ran here before", true, ""},
        {"Firefox never ran here", false, ""},
#ifndef _WIN32
        // The helper saves into a downloads folder of the home folder, which Linux has.
        {"the user saves a file meanwhile", false, "report.pdf"},
#endif
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove_all(dir_ / "user");
        fs::remove(dir_ / "log");
        const std::string root = dir_ / ("user/" + std::string(kFirefoxRoot));
        if (row.firefoxRan) {
            fs::create_directories(root + "abcd.default");
            fs::create_directories(root + "abcd.Trailhost");
            testsupport::WriteFile(root + "profiles.ini",
                                   "[General]\r\nStartWithLastProfile=1\r\n\r\n[Profile0]\nName="
                                   "Trailhost\nIsRelative=1\nPath=abcd.Trailhost\n; the end");
        }
        fs::create_directories(dir_ / "user");
        const auto before = Tree(dir_ / "user");
        ScopedEnv save("FAKE_FIREFOX_SAVE",
                       row.saved.empty() ? std::nullopt : std::optional<std::string>(row.saved));
        browsertest::AnsweringServer server;
        const std::string url = server.Url("trailhost.test");

        auto starter = MakeStarter();
        auto* firefox = dynamic_cast<CFirfoxStarter*>(starter.get());
        ASSERT_NE(firefox, nullptr);
        auto run = std::async(std::launch::async, [&] { starter->StartWithUrl(url); });
        ASSERT_TRUE(AwaitLine(dir_ / "log", "status HTTP/1.1 200 OK"));

        // The browser runs on the run's own profile, with crash reports off, and the launcher's
        // own environment is left as it was.
        const std::string profile = firefox->ProfileFolder();
        EXPECT_EQ(profile.rfind(dir_ / "runtime", 0), 0u) << profile;
        const std::string log = ReadFile(dir_ / "log");
        for (const std::string& line : std::vector<std::string>{
                 "arg=-url", "arg=" + url, "arg=-no-remote", "arg=-profile", "arg=" + profile,
                 "prefs given", "env MOZ_NO_REMOTE=1", "env MOZ_CRASHREPORTER_DISABLE=1"}) {
            EXPECT_TRUE(HasLine(log, line)) << line << "\n" << log;
        }
        EXPECT_FALSE(HasLine(log, "arg=-osint")) << log;
        EXPECT_EQ(GetEnv("MOZ_NO_REMOTE"), std::nullopt);
#ifndef _WIN32
        EXPECT_TRUE(HasLine(log, "env no_proxy=trailhost.test")) << log;
#endif

        // The tray's Close: the browser is ended and everything it made goes.
        starter->Stop();
        ASSERT_EQ(run.wait_for(browsertest::kEventLimit), std::future_status::ready);
        EXPECT_FALSE(fs::exists(profile));
        auto after = Tree(dir_ / "user");
        if (!row.saved.empty()) {
            EXPECT_EQ(after["Downloads/" + row.saved], "saved by the user\n");
            after.erase("Downloads/" + row.saved);
            after.erase("Downloads");
        }
        EXPECT_EQ(after, before);
#ifndef _WIN32
        EXPECT_EQ(GetEnv("no_proxy"), std::nullopt);
#endif
    }
}

}  // namespace
