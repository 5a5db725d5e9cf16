// Plays an installed Firefox started on a profile folder of its own ("-profile DIR"): logs its
// arguments and environment to FAKE_BROWSER_LOG, writes into the profile as the browser does, and,
// like the real browser, makes its state folders in the user's folders beside the profile
// ("Crash Reports" and "Pending Pings" in its root: ~/.mozilla/firefox when that exists, else the
// XDG configuration folder's mozilla/firefox; %APPDATA%\Mozilla\Firefox on Windows) and the
// downloads folder (Linux). FAKE_FIREFOX_SAVE names a file the user saves into the downloads
// folder. Then it fetches its first http:// argument, and stays like fake_browser
// (FAKE_BROWSER_STAY_MS, FAKE_BROWSER_UNTIL).
#include <filesystem>

#include "fake_common.h"

namespace {

namespace fs = std::filesystem;

std::string Root() {
#ifdef _WIN32
    return fake::Env("APPDATA") + "\\Mozilla\\Firefox";
#else
    const std::string legacy = fake::Env("HOME") + "/.mozilla/firefox";
    if (fs::exists(legacy)) {
        return legacy;
    }
    const std::string config = fake::Env("XDG_CONFIG_HOME");
    return (config.empty() ? fake::Env("HOME") + "/.config" : config) + "/mozilla/firefox";
#endif
}

}  // namespace

int main(int argc, char** argv) {
    std::string log = fake::Env("FAKE_BROWSER_LOG");
    if (log.empty()) {
        log = fake::FolderOf(argv[0]) + "browser_firefox.log";
    }
    fake::LogStart(log, argc, argv);
    for (const char* name : {"no_proxy", "NO_PROXY", "MOZ_CRASHREPORTER_DISABLE"}) {
        fake::Log(log, std::string("env ") + name + "=" + fake::Env(name));
    }
    std::error_code error;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "-profile") {
            const std::string profile = argv[i + 1];
            fake::Log(log, std::string("prefs ") +
                               (fs::exists(profile + "/user.js") ? "given" : "missing"));
            fake::WriteText(profile + "/prefs.js", "// written by the browser\n");
        }
    }
    for (const char* state : {"Crash Reports", "Pending Pings"}) {
        fs::create_directories(fs::path(Root()) / state, error);
    }
#ifndef _WIN32
    const std::string downloads = fake::Env("HOME") + "/Downloads";
    fs::create_directories(downloads, error);
    const std::string saved = fake::Env("FAKE_FIREFOX_SAVE");
    if (!saved.empty()) {
        fake::WriteText(downloads + "/" + saved, "saved by the user\n");
    }
#endif
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
    const std::string until = fake::Env("FAKE_BROWSER_UNTIL");
    while (!until.empty() && !std::ifstream(until).good()) {
        fake::SleepMs(50);
    }
    fake::Log(log, "exit");
    return 0;
}
