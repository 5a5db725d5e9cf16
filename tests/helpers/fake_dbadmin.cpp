// Plays the database administration tool: started with --defaults-file="<my.ini>" -s --port=<n>
// ... shutdown, it logs its arguments to fake_dbadmin.log beside my.ini and sends "shutdown" to
// the port.
#include "fake_common.h"

int main(int argc, char** argv) {
    std::string config;
    int port = 0;
    bool shutdown = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (!fake::ValueOf(argument, "--defaults-file=").empty()) {
            config = fake::ValueOf(argument, "--defaults-file=");
        } else if (!fake::ValueOf(argument, "--port=").empty()) {
            port = std::atoi(fake::ValueOf(argument, "--port=").c_str());
        } else if (argument == "shutdown") {
            shutdown = true;
        }
    }
    const std::string log = fake::FolderOf(config) + "fake_dbadmin.log";
    fake::LogStart(log, argc, argv);
    if (!shutdown) {
        return 2;
    }
    fake::StartSockets();
    const fake_socket s = fake::Connect(port);
    if (s == kNoSocket) {
        fake::Log(log, "connect failed");
        return 1;
    }
    fake::SendAll(s, "shutdown\n");
    fake::CloseSocket(s);
    return 0;
}
