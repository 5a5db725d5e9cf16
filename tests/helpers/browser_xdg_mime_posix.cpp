// Linux only: plays xdg-mime for the default-browser lookup: "query default text/html" prints the
// desktop id in FAKE_XDG_HTML_HANDLER (nothing when it is empty) and logs the question to
// FAKE_BROWSER_LOG when set. Other questions print nothing and fail.
#include <iostream>

#include "fake_common.h"

int main(int argc, char** argv) {
    const std::string log = fake::Env("FAKE_BROWSER_LOG");
    std::string question;
    for (int i = 1; i < argc; ++i) {
        question += (i > 1 ? " " : "") + std::string(argv[i]);
    }
    if (!log.empty()) {
        fake::Log(log, "xdg-mime " + question);
    }
    if (question != "query default text/html") {
        return 1;
    }
    const std::string handler = fake::Env("FAKE_XDG_HTML_HANDLER");
    if (!handler.empty()) {
        std::cout << handler << "\n";
    }
    return 0;
}
