#include "stack/database_server.h"

#include <chrono>
#include <memory>

#include "config/settings.h"
#include "stack/account_texts.h"
#include "sys/files.h"
#include "sys/folders.h"
#include "sys/launcher.h"
#include "sys/os_version.h"
#include "sys/pure_socket.h"

namespace {

const std::string kSep(1, kPathSeparator);

#ifdef _WIN32
const char kAdminFileName[] = "mysqladmin.exe";
#else
const char kAdminFileName[] = "mysqladmin";
#endif

std::string BinFolder(const AppSettings& settings, const std::string& exeFolder) {
    return exeFolder + settings.pathToMySqlBin + kSep;
}

std::string DefaultsFileOption(const std::string& configFolder) {
    return "--defaults-file=\"" + configFolder + kSep + "my.ini\"";
}

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

std::string ServerUserOption(const std::string& storedUser) {
    if (IsNoAccountValue(storedUser)) {
        return " --user=root";
    }
    return " --user=" + Unscramble(storedUser, kBuiltInScrambleKey);
}

std::string ShutdownAccountOptions(const std::string& storedUser,
                                   const std::string& storedPassword) {
    if (IsNoAccountValue(storedUser)) {
        return " --user=root";
    }
    const std::string password =
        IsNoAccountValue(storedPassword) ? "" : Unscramble(storedPassword, kBuiltInScrambleKey);
    return " --user=" + Unscramble(storedUser, kBuiltInScrambleKey) + " --password=" + password;
}

std::string DatabaseServerCommandLine(const AppSettings& settings, const std::string& exeFolder,
                                      const std::string& serverFileName,
                                      const std::string& configFolder, int port,
                                      const std::string& userOption) {
    // The program is quoted: a stack folder may hold blanks.
    return "\"" + BinFolder(settings, exeFolder) + serverFileName + "\" " +
           DefaultsFileOption(configFolder) + " --port=" + std::to_string(port) + " " +
           settings.mySQLCmd + " --language=\"" + exeFolder + settings.pathToMySqlShare + kSep +
           "english\"" + userOption;
}

std::string DatabaseShutdownCommandLine(const AppSettings& settings, const std::string& exeFolder,
                                        const std::string& configFolder, int port,
                                        const std::string& accountOptions) {
    return "\"" + BinFolder(settings, exeFolder) + kAdminFileName + "\" " +
           DefaultsFileOption(configFolder) + " -s --port=" + std::to_string(port) +
           accountOptions + " shutdown";
}

DatabaseServerControl::DatabaseServerControl(const AppSettings& settings, int port,
                                             std::string exeFolder, unsigned long stopWaitMs)
    : settings_(settings), exeFolder_(std::move(exeFolder)), stopWaitMs_(stopWaitMs), port_(port) {}

void DatabaseServerControl::Start(const std::string& configFolder) {
    configFolder_ = configFolder;
    const std::string fileName = DatabaseServerFileName();
    const std::string program = BinFolder(settings_, exeFolder_) + fileName;
    if (!PathExists(program)) {
        return;
    }
    const std::string commandLine =
        DatabaseServerCommandLine(settings_, exeFolder_, fileName, configFolder, port_,
                                  ServerUserOption(AccountText(kAccountUserTextId)));
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
    const std::string accountOptions = ShutdownAccountOptions(AccountText(kAccountUserTextId),
                                                              AccountText(kAccountPasswordTextId));
    ProcessLauncher tool;
    tool.Launch(
        DatabaseShutdownCommandLine(settings_, exeFolder_, configFolder_, port_, accountOptions),
        "", LaunchWait::None, false, WindowSearch::Direct);

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
