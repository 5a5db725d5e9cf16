// Plays an installed Firefox. "-CreateProfile NAME" makes the profile folder "<salt>.NAME" in the
// profiles folder, adds it to profiles.ini the way the browser does, and ends; as in the browser,
// a blank in the value ends the name and begins the profile's folder ("NAME FOLDER"), which this
// stand-in accepts only as a full path. Any other start
// logs its arguments and environment to FAKE_BROWSER_LOG, fetches its first http:// argument and
// ends (FAKE_BROWSER_STAY_MS keeps it running that long first). The user's folder is %APPDATA%
// on Windows and $HOME on Linux, as for the real browser.
#include <filesystem>

#include "fake_common.h"

namespace {

#ifdef _WIN32
const char kUserVariable[] = "APPDATA";
const char kFirefoxFolder[] = "\\Mozilla\\Firefox\\";
const char kProfilesPrefix[] = "Profiles/";
#else
const char kUserVariable[] = "HOME";
const char kFirefoxFolder[] = "/.mozilla/firefox/";
const char kProfilesPrefix[] = "";
#endif

unsigned long OwnId() {
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
}

// The number the next [ProfileN] section gets.
int NextProfileNumber(const std::string& list) {
    int next = 0;
    std::string::size_type at = 0;
    while ((at = list.find("[Profile", at)) != std::string::npos) {
        at += 8;
        next = std::max(next, std::atoi(list.c_str() + at) + 1);
    }
    return next;
}

int CreateProfile(const std::string& log, const std::string& value) {
    const std::string::size_type blank = value.find(' ');
    if (blank != std::string::npos) {
        const std::string folder = value.substr(blank + 1);
        if (!std::filesystem::path(folder).is_absolute()) {
            fake::Log(log, "profile folder not a full path: " + folder);
            return 3;
        }
        fake::Log(log, "profile " + value.substr(0, blank) + " in " + folder);
        return 0;
    }
    const std::string& name = value;
    const std::string firefox = fake::Env(kUserVariable) + kFirefoxFolder;
    char salt[16];
    std::snprintf(salt, sizeof(salt), "%08lx", OwnId());
    const std::string relative = std::string(kProfilesPrefix) + salt + "." + name;
    std::error_code error;
    std::filesystem::create_directories(firefox + relative, error);
    if (error) {
        fake::Log(log, "profile folder failed " + firefox + relative);
        return 3;
    }
    fake::WriteText(firefox + relative + "/prefs.js", "// profile of " + name + "\n");

    std::string list = fake::ReadText(firefox + "profiles.ini");
    if (!list.empty() && list.back() != '\n') {
        list += "\n";
    }
    list += "\n[Profile" + std::to_string(NextProfileNumber(list)) + "]\nName=" + name +
            "\nIsRelative=1\nPath=" + relative + "\n";
    fake::WriteText(firefox + "profiles.ini", list);
    fake::Log(log, "created " + relative);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string log = fake::Env("FAKE_BROWSER_LOG");
    if (log.empty()) {
        log = fake::FolderOf(argv[0]) + "browser_firefox.log";
    }
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "-CreateProfile") {
            fake::Log(log,
                      std::string("create-profile MOZ_NO_REMOTE=") + fake::Env("MOZ_NO_REMOTE"));
            return CreateProfile(log, argv[i + 1]);
        }
    }
    fake::LogStart(log, argc, argv);
    for (const char* name : {"no_proxy", "NO_PROXY"}) {
        fake::Log(log, std::string("env ") + name + "=" + fake::Env(name));
    }
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.compare(0, 7, "http://") == 0) {
            fake::FetchAndLog(log, argument);
            break;
        }
    }
    const int stay = std::atoi(fake::Env("FAKE_BROWSER_STAY_MS").c_str());
    if (stay > 0) {
        fake::SleepMs(stay);
    }
    fake::Log(log, "exit");
    return 0;
}
