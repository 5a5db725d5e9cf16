// trailhost-view: a console browser for the demo on a machine without a display. The launcher
// starts it with the start URL; it prints the page's text and ends when Enter is pressed, which
// ends the run like closing a browser window.
#include <cstdio>
#include <iostream>
#include <string>

#include "sys/pure_socket.h"
#include "view.h"

#ifndef _WIN32
#include <csignal>
#include <unistd.h>
#endif

namespace {

std::string Fetch(const PageAddress& address, std::string& error) {
    WinsockGuard sockets;
    CQXPureSocket socket;
    if (!socket.Create() || !socket.Connect(address.host, address.port)) {
        error = GetLastErrorText();
        return "";
    }
    const std::string request =
        "GET " + address.path + " HTTP/1.0\r\nHost: " + address.host + "\r\n\r\n";
    socket.Send(request.data(), static_cast<int>(request.size()));
    std::string answer;
    for (std::string line; !(line = socket.ReceiveLine()).empty();) {
        answer += line;
    }
    socket.Close();
    return answer;
}

// Waits for Enter (or the end of the input). The launcher starts us in a process group of our
// own, which may not read the terminal; we take the terminal for the wait and give it back.
void WaitForEnter() {
#ifndef _WIN32
    pid_t foreground = -1;
    if (isatty(STDIN_FILENO)) {
        std::signal(SIGTTOU, SIG_IGN);
        foreground = tcgetpgrp(STDIN_FILENO);
        tcsetpgrp(STDIN_FILENO, getpgrp());
    }
#endif
    std::string line;
    std::getline(std::cin, line);
#ifndef _WIN32
    if (foreground > 0) {
        tcsetpgrp(STDIN_FILENO, foreground);
    }
#endif
}

}  // namespace

int main(int argc, char** argv) {
    std::string url;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::cout << "usage: trailhost-view URL\n"
                         "Prints the text of the page at URL and waits for Enter.\n";
            return 0;
        }
        url = argument;
    }
    PageAddress address;
    if (!ParsePageAddress(url, address)) {
        std::cerr << "trailhost-view: not an http:// address: " << url << "\n";
        return 2;
    }
    std::string error;
    const std::string answer = Fetch(address, error);
    if (answer.empty()) {
        std::cerr << "trailhost-view: " << url << " did not answer. " << error << "\n";
    } else {
        std::cout << "---- " << url << " ----\n"
                  << PageText(AnswerBody(answer)) << "----\nPress Enter to stop the stack. "
                  << std::flush;
    }
    WaitForEnter();
    return 0;
}
