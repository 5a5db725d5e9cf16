// Plays the database administration tool: started with --defaults-file=<options> -s --port=<n>
// ... shutdown, it logs its arguments to fake_dbadmin.log beside my.ini, keeps a copy of the
// option file it was given as fake_dbadmin.defaults there, and sends "shutdown" to the port. The
// option file is my.ini itself, or a file that names it in an "!include" line.
#include "fake_common.h"

namespace {

// The file an "!include" line of the option text names; empty when there is none.
std::string IncludedFile(const std::string& options) {
    const std::string directive = "!include ";
    const std::string::size_type at = options.find(directive);
    if (at == std::string::npos) {
        return "";
    }
    const std::string::size_type start = at + directive.size();
    return options.substr(start, options.find_first_of("\r\n", start) - start);
}

}  // namespace

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
    const std::string options = fake::ReadText(config);
    const std::string myIni = IncludedFile(options).empty() ? config : IncludedFile(options);
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
