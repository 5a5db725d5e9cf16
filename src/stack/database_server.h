// The database server process: started with the produced my.ini on the port of this run, shut
// down politely with its administration tool, and ended by force when it will not go.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sys/process.h"

struct AppSettings;

// How long the stop waits for the server to end after the administration tool asked it to.
constexpr unsigned long kDatabaseStopWaitMs = 10000;

class DatabaseServerControl {
public:
    // `exeFolder` is the stack's folder, with a trailing separator; `port` the port chosen for
    // this run.
    DatabaseServerControl(const AppSettings& settings, int port, std::string exeFolder,
                          unsigned long stopWaitMs = kDatabaseStopWaitMs);
    DatabaseServerControl(const DatabaseServerControl&) = delete;
    DatabaseServerControl& operator=(const DatabaseServerControl&) = delete;

    // Starts the server hidden with the my.ini in `configFolder`, without waiting. When its
    // executable is missing nothing happens and nothing is reported.
    void Start(const std::string& configFolder);

    // When the server Start started still runs and answers on its port at 127.0.0.1: runs the
    // administration tool's shutdown on that port, waits up to the stop wait for the server's
    // process to end, and ends it when it has not. A server of ours that does not answer yet is
    // given the stop wait to come up first, and ended if it does not. Nothing is sent when no
    // server of ours runs: whatever answers on the port then is somebody else's.
    void Stop();

    int port() const { return port_; }
    std::uint32_t processId() const { return process_.id(); }
    // The server process Start started; nothing until then.
    const Process& process() const { return process_; }
    // The processes Stop ended by force (none after an orderly shutdown).
    const std::vector<Process>& Ended() const { return ended_; }
    // The executable Start launched; empty until then.
    const std::string& programPath() const { return serverProgram_; }

private:
    // For a stop while nothing answers on the port: waits up to the stop wait for a server of
    // ours that is still starting to answer (true), and ends it when it does not come up in time.
    bool AwaitOwnServer();

    const AppSettings& settings_;
    const std::string exeFolder_;
    const unsigned long stopWaitMs_;
    std::string configFolder_;
    const int port_;
    Process process_;
    std::vector<Process> ended_;
    std::string serverProgram_;  // the executable Start launched
};

// The server's file name: mysqld-nt.exe on Windows NT 3 and 4, mysqld.exe on every other Windows,
// mysqld on Linux.
std::string DatabaseServerFileName();

// The administration tool's file name, beside the server: mysqladmin.exe on Windows, mysqladmin on
// Linux.
std::string DatabaseAdminFileName();

// The account options. The texts are stored scrambled (AccountText); "NONE" in any case means no
// value. Start passes only the user (root when none is stored); the shutdown also passes the
// password, empty when none is stored (and no password at all when no user is stored).
std::string ServerUserOption(const std::string& storedUser);
std::string ShutdownAccountOptions(const std::string& storedUser,
                                   const std::string& storedPassword);

// exeFolder + pathToMySqlBin + separator + serverFileName, --defaults-file with the quoted
// configFolder + separator + "my.ini", --port, a blank and mySQLCmd, --language with the quoted
// english folder of pathToMySqlShare, and the user option; whole, whatever the lengths.
std::string DatabaseServerCommandLine(const AppSettings& settings, const std::string& exeFolder,
                                      const std::string& serverFileName,
                                      const std::string& configFolder, int port,
                                      const std::string& userOption);

// The administration tool's shutdown: exeFolder + pathToMySqlBin + separator + mysqladmin(.exe),
// --defaults-file as above, -s, --port, the account options and "shutdown".
std::string DatabaseShutdownCommandLine(const AppSettings& settings, const std::string& exeFolder,
                                        const std::string& configFolder, int port,
                                        const std::string& accountOptions);
