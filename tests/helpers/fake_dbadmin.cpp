// Plays the database administration tool: started with --defaults-file=<options> -s --port=<n>
// ... shutdown, it logs its arguments to fake_dbadmin.log beside my.ini, keeps a copy of the
// option file it was given as fake_dbadmin.defaults there, and sends "shutdown" to the port. The
// option file is my.ini itself, or a file that names it in an "!include" line.
#include "fake_common.h"

int main(int argc, char** argv) {
    const std::string config = fake::Argument(argc, argv, "--defaults-file=");
    const int port = std::atoi(fake::Argument(argc, argv, "--port=").c_str());
    const bool shutdown = std::string(argv[argc - 1]) == "shutdown";
    const std::string options = fake::ReadText(config);
    const std::string included = fake::Setting(options, "!include ");
    const std::string myIni = included.empty() ? config : included;
    const std::string log = fake::FolderOf(myIni) + "fake_dbadmin.log";
    fake::LogStart(log, argc, argv);
    fake::WriteText(fake::FolderOf(myIni) + "fake_dbadmin.defaults", options);
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
