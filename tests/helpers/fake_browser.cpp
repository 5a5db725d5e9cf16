// Plays the browser: fetches the first http:// argument with one HTTP/1.0 request and ends.
// It logs its arguments, environment, the answer's status line and the clock times of its start
// and end to the file named by FAKE_BROWSER_LOG (else fake_browser.log beside itself);
// FAKE_BROWSER_PAGE names a file that receives the whole answer, for tests that read the page
// itself. FAKE_BROWSER_STAY_MS keeps it running that long after the fetch, so that a test can
// end it from outside first; FAKE_BROWSER_UNTIL keeps it running after the fetch until the file
// it names exists (the user closing the browser), logging "holding" meanwhile. With
// FAKE_BROWSER_EXIT_CODE it ends at once with that code, fetching nothing, as a browser that
// crashes on its start. Its process id is logged ("pid"), for tests that kill it.
//
// Started on a profile of its own ("-profile DIR") it plays an installed Firefox: it also logs
// the proxy exceptions and the crash reporter's switch, writes into the profile, and makes its
// state folders in the user's folders beside the profile ("Crash Reports", "Pending Pings" and
// "Profile Groups" in its root: ~/.mozilla/firefox when that exists, else the XDG configuration
// folder's mozilla/firefox; %APPDATA%\Mozilla\Firefox on Windows) and the downloads folder
// (Linux), into which it saves the file that FAKE_FIREFOX_SAVE names.
#include <filesystem>

#include "fake_common.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

std::string FirefoxRoot() {
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

void PlayFirefox(const std::string& log, const std::string& profile) {
    for (const char* name : {"no_proxy", "NO_PROXY", "MOZ_CRASHREPORTER_DISABLE"}) {
        fake::Log(log, std::string("env ") + name + "=" + fake::Env(name));
    }
    fake::Log(log,
              std::string("prefs ") + (fs::exists(profile + "/user.js") ? "given" : "missing"));
    fake::WriteText(profile + "/prefs.js", "// written by the browser\n");
    std::error_code error;
    for (const char* state : {"Crash Reports", "Pending Pings", "Profile Groups"}) {
        fs::create_directories(fs::path(FirefoxRoot()) / state, error);
    }
#ifndef _WIN32
    const std::string downloads = fake::Env("HOME") + "/Downloads";
    fs::create_directories(downloads, error);
    const std::string saved = fake::Env("FAKE_FIREFOX_SAVE");
    if (!saved.empty()) {
        fake::WriteText(downloads + "/" + saved, "saved by the user\n");
    }
#endif
}

}  // namespace

int main(int argc, char** argv) {
    std::string log = fake::Env("FAKE_BROWSER_LOG");
    if (log.empty()) {
        log = fake::FolderOf(argv[0]) + "fake_browser.log";
    }
    const std::string started = fake::EpochMs();
    fake::LogStart(log, argc, argv);
    // After the arguments, which tests read from the log's start.
    fake::Log(log, "ms-started " + started);
#ifdef _WIN32
    fake::Log(log, "pid " + std::to_string(GetCurrentProcessId()));
#else
    fake::Log(log, "pid " + std::to_string(getpid()));
#endif
    const std::string crash = fake::Env("FAKE_BROWSER_EXIT_CODE");
    if (!crash.empty()) {
        fake::Log(log, "exit-code " + crash);
        return std::atoi(crash.c_str());
    }

    std::string url;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "-profile" && i + 1 < argc) {
            PlayFirefox(log, argv[i + 1]);
        }
        const auto at = argument.find("http://");
        if (at != std::string::npos && url.empty()) {
            url = argument.substr(at);
        }
    }
    if (!url.empty()) {
        const std::string answer = fake::FetchAndLog(log, url);
        const std::string page = fake::Env("FAKE_BROWSER_PAGE");
        if (!page.empty()) {
            fake::WriteText(page, answer);
        }
    }
    const int stay = std::atoi(fake::Env("FAKE_BROWSER_STAY_MS").c_str());
    if (stay > 0) {
        fake::SleepMs(stay);
    }
    const std::string until = fake::Env("FAKE_BROWSER_UNTIL");
    if (!until.empty()) {
        fake::Log(log, "holding");
        while (!std::ifstream(until).good()) {
            fake::SleepMs(50);
        }
    }
    fake::Log(log, "ms-ended " + fake::EpochMs());
    fake::Log(log, "exit");
    return 0;
}
