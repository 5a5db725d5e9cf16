// Plays the database server: started with --defaults-file="<my.ini>" --port=<n> ..., it logs its
// arguments and environment to fake_db.log beside my.ini, listens on the port and ends when a
// client sends "shutdown" — unless my.ini holds a line "fake-ignore-shutdown", in which case it
// logs the request and keeps running until it is killed. A line "fake-listen-after-ms=<n>" makes
// it wait that long before it listens, as a server that is still starting; "fake-exit-at-start=<n>"
// makes it end at once with that code, after a line in the file that "log-error=" names.
#include <cstring>

#include "fake_common.h"

int main(int argc, char** argv) {
    std::string config;
    int port = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (!fake::ValueOf(argument, "--defaults-file=").empty()) {
            config = fake::ValueOf(argument, "--defaults-file=");
        } else if (!fake::ValueOf(argument, "--port=").empty()) {
            port = std::atoi(fake::ValueOf(argument, "--port=").c_str());
        }
    }
    const std::string log = fake::FolderOf(config) + "fake_db.log";
    fake::LogStart(log, argc, argv);
    const bool ignoreShutdown =
        fake::ReadText(config).find("fake-ignore-shutdown") != std::string::npos;

    const std::string text = fake::ReadText(config);
    const std::string::size_type exitAtStart = text.find("fake-exit-at-start=");
    if (exitAtStart != std::string::npos) {
        const std::string::size_type logAt = text.find("log-error=");
        if (logAt != std::string::npos) {
            const std::string::size_type from = logAt + std::strlen("log-error=");
            fake::Log(text.substr(from, text.find_first_of("\r\n", from) - from),
                      "fake_db: these data files cannot be used");
        }
        return std::atoi(text.c_str() + exitAtStart + std::strlen("fake-exit-at-start="));
    }
    const std::string::size_type delay = text.find("fake-listen-after-ms=");
    if (delay != std::string::npos) {
        fake::Log(log, "starting");
        fake::SleepMs(std::atoi(text.c_str() + delay + std::strlen("fake-listen-after-ms=")));
    }
    fake::StartSockets();
    const fake_socket server = fake::Listen(port);
    if (server == kNoSocket) {
        fake::Log(log, "listen failed on " + std::to_string(port));
        return 1;
    }
    fake::Log(log, "listening " + std::to_string(port));
    for (;;) {
        const fake_socket client = accept(server, nullptr, nullptr);
        if (client == kNoSocket) {
            continue;
        }
        const std::string request = fake::ReceiveUntil(client, "\n");
        fake::CloseSocket(client);
        if (request.find("shutdown") != std::string::npos) {
            fake::Log(log, ignoreShutdown ? "shutdown ignored" : "shutdown");
            if (!ignoreShutdown) {
                fake::CloseSocket(server);
                return 0;
            }
        }
    }
}
