// Plays the database server: started with --defaults-file="<my.ini>" --port=<n> ..., it logs its
// arguments and environment to fake_db.log beside my.ini, listens on the port and ends when a
// client sends "shutdown" — unless my.ini holds a line "fake-ignore-shutdown", in which case it
// logs the request and keeps running until it is killed. A line "fake-listen-after-ms=<n>" makes
// it wait that long before it listens, as a server that is still starting; "fake-exit-at-start=<n>"
// makes it end at once with that code, after a line in the file that "log-error=" names.
#include "fake_common.h"

int main(int argc, char** argv) {
    const std::string config = fake::Argument(argc, argv, "--defaults-file=");
    const int port = std::atoi(fake::Argument(argc, argv, "--port=").c_str());
    const std::string log = fake::FolderOf(config) + "fake_db.log";
    fake::LogStart(log, argc, argv);
    const std::string text = fake::ReadText(config);
    const bool ignoreShutdown = text.find("fake-ignore-shutdown") != std::string::npos;
    const std::string exitAtStart = fake::Setting(text, "fake-exit-at-start=");
    if (!exitAtStart.empty()) {
        const std::string errorLog = fake::Setting(text, "log-error=");
        if (!errorLog.empty()) {
            fake::Log(errorLog, "fake_db: these data files cannot be used");
        }
        return std::atoi(exitAtStart.c_str());
    }
    const std::string delay = fake::Setting(text, "fake-listen-after-ms=");
    if (!delay.empty()) {
        fake::Log(log, "starting");
        fake::SleepMs(std::atoi(delay.c_str()));
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
