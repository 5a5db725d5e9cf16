// Plays the browser: fetches the first http:// argument with one HTTP/1.0 request and ends.
// It logs its arguments, environment, the answer's status line and the clock times of its start
// and end to the file named by FAKE_BROWSER_LOG (else fake_browser.log beside itself);
// FAKE_BROWSER_PAGE names a file that receives the whole answer, for tests that read the page
// itself. FAKE_BROWSER_STAY_MS keeps it running that long after the fetch, so that a test can
// end it from outside first; FAKE_BROWSER_UNTIL keeps it running after the fetch until the file
// it names exists (the user closing the browser), logging "holding" meanwhile. With
// FAKE_BROWSER_EXIT_CODE it ends at once with that code, fetching nothing, as a browser that
// crashes on its start. Its process id is logged ("pid"), for tests that kill it.
#include "fake_common.h"

#ifndef _WIN32
#include <unistd.h>
#endif

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
    for (int i = 1; i < argc && url.empty(); ++i) {
        const std::string argument = argv[i];
        const auto at = argument.find("http://");
        if (at != std::string::npos) {
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
