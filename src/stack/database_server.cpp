#include "stack/database_server.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "config/settings.h"
#include "stack/account_texts.h"
#include "sys/files.h"
#include "sys/folders.h"
#include "sys/launcher.h"
#include "sys/os_version.h"
#include "sys/pure_socket.h"

namespace {

#ifdef _WIN32
const char kAdminFileName[] = "mysqladmin.exe";
#else
const char kAdminFileName[] = "mysqladmin";
#endif

std::string BinFolder(const AppSettings& settings, const std::string& exeFolder) {
    return exeFolder + settings.pathToMySqlBin + kSep;
}

// A value of an option file in double quotes, read back as it is.
std::string QuotedOptionValue(const std::string& value) {
    std::string quoted = "\"";
    for (const char c : value) {
        switch (c) {
            case '\\':
                quoted += "\\\\";
                break;
            case '"':
                quoted += "\\\"";
                break;
            case '\n':
                quoted += "\\n";
                break;
            case '\r':
                quoted += "\\r";
                break;
            case '\t':
                quoted += "\\t";
                break;
            case '\b':
                quoted += "\\b";
                break;
            default:
                quoted += c;
        }
    }
    return quoted + "\"";
}

// The option file of one shutdown: written when made, deleted when it goes.
class AdminOptionFile {
public:
    AdminOptionFile(std::string path, const std::string& text) : path_(std::move(path)) {
        UniqueFile file = OpenFile(path_, "wb");
        written_ = file && std::fwrite(text.data(), 1, text.size(), file.get()) == text.size() &&
                   std::fflush(file.get()) == 0;
    }
    ~AdminOptionFile() { std::remove(path_.c_str()); }
    AdminOptionFile(const AdminOptionFile&) = delete;
    AdminOptionFile& operator=(const AdminOptionFile&) = delete;

    bool written() const { return written_; }

private:
    std::string path_;
    bool written_ = false;
};

}  // namespace

std::string DatabaseServerFileName() {
#ifdef _WIN32
    const unsigned long major = ZUL::CSystemVersion::GetMajorVersion();
    if (ZUL::CSystemVersion::IsNTFamily() && (major == 3 || major == 4)) {
        return "mysqld-nt.exe";
    }
    return "mysqld.exe";
#else
    return "mysqld";
#endif
}

std::string DatabaseAdminFileName() {
    return kAdminFileName;
}

StoredAccount BuildAccount() {
    return {AccountText(kAccountUserTextId), AccountText(kAccountPasswordTextId)};
}

std::string ServerUserName(const std::string& storedUser) {
    return IsNoAccountValue(storedUser) ? "root" : Unscramble(storedUser, kBuiltInScrambleKey);
}

std::string AdminOptionFileText(const std::string& myIni, const StoredAccount& account) {
    std::string text = "!include " + myIni +
                       "\n[client]\nuser=" + QuotedOptionValue(ServerUserName(account.user)) + "\n";
    if (!IsNoAccountValue(account.user)) {
        const std::string password = IsNoAccountValue(account.password)
                                         ? ""
                                         : Unscramble(account.password, kBuiltInScrambleKey);
        text += "password=" + QuotedOptionValue(password) + "\n";
    }
    return text;
}

std::string AdminOptionFileName(const std::string& folder) {
    return folder + "mysqladmin.cnf";
}

std::string DatabaseServerCommandLine(const AppSettings& settings, const std::string& exeFolder,
                                      const std::string& serverFileName,
                                      const std::string& configFolder, int port,
                                      const std::string& user) {
    return JoinWindowsCommandLine({BinFolder(settings, exeFolder) + serverFileName,
                                   "--defaults-file=" + configFolder + kSep + "my.ini",
                                   "--port=" + std::to_string(port)}) +
           " " + settings.mySQLCmd + " " +
           JoinWindowsCommandLine(
               {"--language=" + exeFolder + settings.pathToMySqlShare + kSep + "english",
                "--user=" + user});
}

std::string DatabaseShutdownCommandLine(const AppSettings& settings, const std::string& exeFolder,
                                        const std::string& optionFile, int port,
                                        const std::string& user) {
    std::vector<std::string> args = {BinFolder(settings, exeFolder) + kAdminFileName,
                                     "--defaults-file=" + optionFile, "-s",
                                     "--port=" + std::to_string(port)};
    if (!user.empty()) {
        args.push_back("--user=" + user);
    }
    args.push_back("shutdown");
    return JoinWindowsCommandLine(args);
}

DatabaseServerControl::DatabaseServerControl(const AppSettings& settings, int port,
                                             std::string exeFolder, unsigned long stopWaitMs,
                                             StoredAccount account)
    : settings_(settings),
      exeFolder_(std::move(exeFolder)),
      stopWaitMs_(stopWaitMs),
      account_(std::move(account)),
      port_(port) {}

void DatabaseServerControl::Start(const std::string& configFolder,
                                  const std::string& privateFolder) {
    configFolder_ = configFolder;
    privateFolder_ = privateFolder;
    const std::string fileName = DatabaseServerFileName();
    const std::string program = BinFolder(settings_, exeFolder_) + fileName;
    if (!PathExists(program)) {
        return;
    }
    const std::string commandLine = DatabaseServerCommandLine(
        settings_, exeFolder_, fileName, configFolder, port_, ServerUserName(account_.user));
    ProcessLauncher launcher;
    launcher.TieToLauncher(true);
    if (launcher.Launch(commandLine, "", LaunchWait::None, false, WindowSearch::Direct)) {
        process_ = launcher.process();
        serverProgram_ = program;
    }
}

void DatabaseServerControl::Stop() {
    if (!process_.IsRunning()) {
        // Gone by itself; what it may have started goes with it.
        ended_ = process_.TerminateTree();
        return;
    }
    if (!IsPortInUse(port_, "127.0.0.1") && !AwaitOwnServer()) {
        return;
    }
    const std::string myIni = configFolder_ + kSep + "my.ini";
    const AdminOptionFile options(AdminOptionFileName(privateFolder_),
                                  AdminOptionFileText(myIni, account_));
    // Without its option file (a full disk) the tool still gets the user, never the password.
    const std::string commandLine =
        options.written() ? DatabaseShutdownCommandLine(settings_, exeFolder_,
                                                        AdminOptionFileName(privateFolder_), port_)
                          : DatabaseShutdownCommandLine(settings_, exeFolder_, myIni, port_,
                                                        ServerUserName(account_.user));
    ProcessLauncher tool;
    tool.Launch(commandLine, "", LaunchWait::None, false, WindowSearch::Direct);

    // The server closes its port early in its shutdown and goes on writing its files: its
    // process, not the port, tells when it is done.
    if (!process_.WaitForExit(stopWaitMs_)) {
        ended_ = process_.TerminateTree();
    }
}

bool DatabaseServerControl::AwaitOwnServer() {
    // A server that is still starting (a stop right after the start, a server recovering its
    // files) does not answer yet; left alone it would outlive the run.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(stopWaitMs_);
    while (process_.IsRunning()) {
        if (IsPortInUse(port_, "127.0.0.1")) {
            return true;
        }
        if (Clock::now() >= deadline) {
            ended_ = process_.TerminateTree();
            return false;
        }
        process_.WaitForExit(50);
    }
    return false;
}
