// Plays the web server: started with "-f <httpd.conf>", it reads from that file
//   Listen <port>          the port (an address before a ':' is ignored)
//   FakeAnswer404 <n>      answer "HTTP/1.1 404 Not Found" to the first n requests, then 200
//   FakeStatus <line>      the status line of the ready answers (default "HTTP/1.1 200 OK")
//   FakeNeverListen 1      never listen (a server that hangs in its start)
//   FakeExitAfterMs <ms>   end by itself after that time, with FakeExitCode (default 0), after
//                          a line in the file that ErrorLog names
// and logs its arguments, environment and every request line to fake_web.log beside the
// configuration file, with the clock time at which it started and at which it began to listen
// ("started-ms", "listening-ms"). It runs until it is killed.
#include <thread>

#include "fake_common.h"

int main(int argc, char** argv) {
    const std::string started = fake::EpochMs();
    std::string config;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "-f") {
            config = argv[i + 1];
        }
    }
    const std::string log = fake::FolderOf(config) + "fake_web.log";
    fake::LogStart(log, argc, argv);
    fake::Log(log, "started-ms " + started);

    int port = 0;
    int answers404 = 0;
    bool neverListen = false;
    int exitAfterMs = 0;
    int exitCode = 0;
    std::string errorLog;
    std::string status = "HTTP/1.1 200 OK";
    std::istringstream lines(fake::ReadText(config));
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::istringstream words(line);
        std::string key;
        words >> key;
        std::string value;
        std::getline(words >> std::ws, value);
        if (key == "Listen") {
            port = std::atoi(value.substr(value.find_last_of(':') + 1).c_str());
        } else if (key == "FakeAnswer404") {
            answers404 = std::atoi(value.c_str());
        } else if (key == "FakeStatus") {
            status = value;
        } else if (key == "FakeNeverListen") {
            neverListen = value == "1";
        } else if (key == "FakeExitAfterMs") {
            exitAfterMs = std::atoi(value.c_str());
        } else if (key == "FakeExitCode") {
            exitCode = std::atoi(value.c_str());
        } else if (key == "ErrorLog") {
            errorLog = fake::ValueOf(value, "");
        }
    }
    if (exitAfterMs > 0) {
        std::thread([exitAfterMs, exitCode, errorLog, log] {
            fake::SleepMs(exitAfterMs);
            if (!errorLog.empty()) {
                fake::Log(errorLog, "fake_web: this configuration cannot be used");
            }
            fake::Log(log, "exit");
            std::exit(exitCode);
        }).detach();
    }
    if (neverListen) {
        for (;;) {
            fake::SleepMs(1000);
        }
    }

    fake::StartSockets();
    const fake_socket server = fake::Listen(port);
    if (server == kNoSocket) {
        fake::Log(log, "listen failed on " + std::to_string(port));
        return 1;
    }
    fake::Log(log, "listening-ms " + fake::EpochMs());
    fake::Log(log, "listening " + std::to_string(port));
    int served = 0;
    for (;;) {
        const fake_socket client = accept(server, nullptr, nullptr);
        if (client == kNoSocket) {
            continue;
        }
        const std::string request = fake::ReceiveRequest(client);
        std::string first = request.substr(0, request.find('\n'));
        if (!first.empty() && first.back() == '\r') {
            first.pop_back();
        }
        fake::Log(log, "request " + first);
        if (served++ < answers404) {
            fake::SendAll(client, "HTTP/1.1 404 Not Found\r\n\r\n");
        } else {
            fake::SendAll(client, status + "\r\nContent-Type: text/html\r\n\r\n<html>ready</html>");
        }
        fake::CloseSocket(client);
    }
}
