// A whole Firefox run with a helper program registered as Firefox (Windows: its open command in
// the build's own Wine prefix; Linux: "firefox" on a private PATH) and a private user folder: the
// profile list comes back byte for byte, the run's profile folder goes, MOZ_NO_REMOTE ends at 0.
#include <gtest/gtest.h>

#include <filesystem>

#include "browser/starters.h"
#include "browser_test_support.h"
#include "config/settings.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

namespace fs = std::filesystem;
using namespace Browser;
using browsertest::GetEnv;
using browsertest::HasLine;
using browsertest::ScopedEnv;
using testsupport::ReadFile;

#ifdef _WIN32
const char kUserVariable[] = "APPDATA";
const char kFirefoxFolder[] = "Mozilla\\Firefox\\";
const char kProfilesFolder[] = "Mozilla\\Firefox\\Profiles\\";
const char kPathPrefix[] = "Profiles/";

// The helper as the registered Firefox, for the test's scope.
class RegisteredFirefox {
public:
    RegisteredFirefox() {
        HKEY key = nullptr;
        existed_ = RegOpenKeyExA(HKEY_CLASSES_ROOT, "FirefoxHTML", 0, KEY_READ, &key) == 0;
        if (existed_) {
            RegCloseKey(key);
            char old[2048] = {};
            DWORD size = sizeof(old) - 1;
            hadCommand_ = RegGetValueA(HKEY_CLASSES_ROOT, kCommandKey, nullptr, RRF_RT_REG_SZ,
                                       nullptr, old, &size) == 0;
            oldCommand_ = old;
        }
        Write("\"" + testsupport::HelperPath("browser_firefox") +
              "\" -requestPending -osint -url \"%1\"");
    }
    ~RegisteredFirefox() {
        if (!existed_) {
            RegDeleteTreeA(HKEY_CLASSES_ROOT, "FirefoxHTML");
            RegDeleteKeyA(HKEY_CLASSES_ROOT, "FirefoxHTML");
        } else if (hadCommand_) {
            Write(oldCommand_);
        }
    }

private:
    static constexpr const char* kCommandKey = "FirefoxHTML\\shell\\open\\command";
    static void Write(const std::string& command) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CLASSES_ROOT, kCommandKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr) == 0) {
            RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                           static_cast<DWORD>(command.size() + 1));
            RegCloseKey(key);
        }
    }
    bool existed_ = false;
    bool hadCommand_ = false;
    std::string oldCommand_;
};
#else
const char kUserVariable[] = "HOME";
const char kFirefoxFolder[] = ".mozilla/firefox/";
const char kProfilesFolder[] = ".mozilla/firefox/";
const char kPathPrefix[] = "";
#endif

// Profile folders whose names end in "." + `profile`.
std::vector<std::string> RunProfiles(const std::string& folder, const std::string& profile) {
    const std::string tail = "." + profile;
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > tail.size() &&
            name.compare(name.size() - tail.size(), tail.size(), tail) == 0) {
            found.push_back(name);
        }
    }
    return found;
}

// A server name, and the name the run's profile gets from it.
struct ProfileNames {
    const char* serverName;
    const char* profile;
};

class FirefoxRunTest : public ::testing::TestWithParam<ProfileNames> {
protected:
    FirefoxRunTest()
        : user_(kUserVariable, dir_ / "user"),
          log_("FAKE_BROWSER_LOG", dir_ / "log"),
          noRemote_("MOZ_NO_REMOTE", std::nullopt),
          noProxy_("no_proxy", std::nullopt)
#ifndef _WIN32
          ,
          path_("PATH", dir_ / "bin")
#endif
    {
        firefox_ = dir_ / ("user/" + std::string(kFirefoxFolder));
        profiles_ = dir_ / ("user/" + std::string(kProfilesFolder));
        fs::create_directories(profiles_ + "abcd.default");
        fs::create_directories(profiles_ + "keep.TrailhostX");
        settings_.hostName = "trailhost.test";
        settings_.serverName = GetParam().serverName;
#ifndef _WIN32
        fs::create_directories(dir_ / "bin");
        fs::copy_file(testsupport::HelperPath("browser_firefox"), dir_ / "bin/firefox");
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
    RegisteredFirefox registered_;
#endif
    ScopedEnv user_;
    ScopedEnv log_;
    ScopedEnv noRemote_;
    ScopedEnv noProxy_;
#ifndef _WIN32
    ScopedEnv path_;
#endif
    std::string firefox_;
    std::string profiles_;
    AppSettings settings_;
};

// The demo's own name holds a blank, which the browser would read as the start of a folder.
INSTANTIATE_TEST_SUITE_P(ServerNames, FirefoxRunTest,
                         ::testing::Values(ProfileNames{"Trailhost", "Trailhost"},
                                           ProfileNames{"Trailhost Demo", "Trailhost_Demo"}),
                         [](const ::testing::TestParamInfo<ProfileNames>& names) {
                             return std::string(names.param.profile);
                         });

TEST_P(FirefoxRunTest, ProfileListComesBackByteForByteAndTheRunsProfileGoes) {
    const std::string profile = GetParam().profile;
    // Mixed line ends, a line longer than any copy piece, and no line end at the end.
    const std::string original =
        "[General]\r\nStartWithLastProfile=1\r\n\r\n[Profile0]\nName="
        "default\nIsRelative=1\nPath=" +
        std::string(kPathPrefix) + "abcd.default\nDefault=1\n; " + std::string(150, 'x') +
        "\n\n\n; the end";
    testsupport::WriteFile(firefox_ + "profiles.ini", original);
    browsertest::AnsweringServer server;
    const std::string url = server.Url("trailhost.test");

    auto starter = MakeStarter();
    ASSERT_NE(dynamic_cast<CFirfoxStarter*>(starter.get()), nullptr);
    starter->StartWithUrl(url);

    const std::string log = ReadFile(dir_ / "log");
    EXPECT_TRUE(HasLine(log, "create-profile MOZ_NO_REMOTE=1")) << log;
    EXPECT_NE(log.find("\ncreated " + std::string(kPathPrefix)), std::string::npos) << log;
    for (const std::string& line : std::vector<std::string>{
             "arg=-url", "arg=" + url, "arg=-no-remote", "arg=-p", "arg=" + profile,
             "env MOZ_NO_REMOTE=1", "status HTTP/1.1 200 OK", "exit"}) {
        EXPECT_TRUE(HasLine(log, line)) << line << "\n" << log;
    }
    EXPECT_FALSE(HasLine(log, "arg=-osint")) << log;
    EXPECT_FALSE(HasLine(log, "arg=-requestPending")) << log;
#ifndef _WIN32
    EXPECT_TRUE(HasLine(log, "env no_proxy=trailhost.test")) << log;
#endif

    // While the run lasts: the list names the run's profile, its copy is the old list.
    EXPECT_NE(ReadFile(firefox_ + "profiles.ini").find("Name=" + profile + "\n"),
              std::string::npos);
    EXPECT_EQ(ReadFile(firefox_ + "profiles.ini.trh"), original);
    EXPECT_EQ(RunProfiles(profiles_, profile).size(), 1u);
    EXPECT_EQ(GetEnv("MOZ_NO_REMOTE"), "1");

    starter->Stop();
    EXPECT_EQ(ReadFile(firefox_ + "profiles.ini"), original);
    EXPECT_EQ(ReadFile(firefox_ + "profiles.ini.trh"), original);
    EXPECT_TRUE(RunProfiles(profiles_, profile).empty());
    EXPECT_TRUE(fs::exists(profiles_ + "abcd.default"));
    EXPECT_TRUE(fs::exists(profiles_ + "keep.TrailhostX"));
    EXPECT_EQ(GetEnv("MOZ_NO_REMOTE"), "0");
#ifndef _WIN32
    EXPECT_EQ(GetEnv("no_proxy"), std::nullopt);
#endif
}

// Firefox never ran for this user: no list to put back, so no browser is started.
TEST_P(FirefoxRunTest, NoProfileListStartsNoBrowser) {
    auto starter = MakeStarter();
    ASSERT_NE(starter, nullptr);
    starter->StartWithUrl("http://trailhost.test:4001/");
    EXPECT_EQ(ReadFile(dir_ / "log"), "");
    EXPECT_FALSE(fs::exists(firefox_ + "profiles.ini.trh"));
#ifndef _WIN32
    EXPECT_EQ(GetEnv("no_proxy"), std::nullopt);
#endif

    // An old copy from an earlier run is not put over the user's list.
    testsupport::WriteFile(firefox_ + "profiles.ini.trh", "old copy");
    testsupport::WriteFile(firefox_ + "profiles.ini", "user's list");
    starter->Stop();
    EXPECT_EQ(ReadFile(firefox_ + "profiles.ini"), "user's list");
}

}  // namespace
