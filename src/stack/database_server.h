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

// The database account as the build stores it: scrambled (see Unscramble), and "NONE" in any
// letter case for no value.
struct StoredAccount {
    std::string user;
    std::string password;
};

// The account texts of this build (AccountText of the user and password ids).
StoredAccount BuildAccount();

class DatabaseServerControl {
public:
    // `exeFolder` is the stack's folder, with a trailing separator; `port` the port chosen for
    // this run; `account` the account the server runs and is shut down with.
    DatabaseServerControl(const AppSettings& settings, int port, std::string exeFolder,
                          unsigned long stopWaitMs = kDatabaseStopWaitMs,
                          StoredAccount account = BuildAccount());
    DatabaseServerControl(const DatabaseServerControl&) = delete;
    DatabaseServerControl& operator=(const DatabaseServerControl&) = delete;

    // Starts the server hidden with the my.ini in `configFolder`, without waiting. When its
    // executable is missing nothing happens and nothing is reported. The stop puts the
    // administration tool's account into an option file in `privateFolder` (the runtime folder,
    // which only this user may read).
    void Start(const std::string& configFolder, const std::string& privateFolder);

    // When the server Start started still runs and answers on its port at 127.0.0.1: runs the
    // administration tool's shutdown on that port (its account in the option file
    // AdminOptionFileText describes, deleted again before Stop returns: on the tool's command
    // line every user of the machine could read the password), waits up to the stop wait for the
    // server's process to end, and ends it when it has not. A server of ours that does not answer
    // yet is given the stop wait to come up first, and ended if it does not. Nothing is sent when
    // no server of ours runs: whatever answers on the port then is somebody else's.
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
    const StoredAccount account_;
    std::string configFolder_;
    std::string privateFolder_;
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

// The user the server runs as: the stored user, unscrambled, or root when none is stored.
std::string ServerUserName(const std::string& storedUser);

// The administration tool's option file: the site's my.ini (`myIni`) through an include, so that
// the tool reads what it read before, then the account in the [client] group: the stored user
// and password (unscrambled; the password empty when none is stored), or root without a password
// when no user is stored. Values are quoted, with backslashes, quotes and control characters
// escaped, so that any password reads back as it is.
std::string AdminOptionFileText(const std::string& myIni, const StoredAccount& account);

// The option file's name in a folder (with a trailing separator).
std::string AdminOptionFileName(const std::string& folder);

// The server's command line, joined by the Windows rules, each path one argument:
// exeFolder + pathToMySqlBin + separator + serverFileName, --defaults-file with configFolder +
// separator + "my.ini", --port, a blank and mySQLCmd as it is written (the site's own options),
// --language with the english folder of pathToMySqlShare, and --user; whole, whatever the
// lengths.
std::string DatabaseServerCommandLine(const AppSettings& settings, const std::string& exeFolder,
                                      const std::string& serverFileName,
                                      const std::string& configFolder, int port,
                                      const std::string& user);

// The administration tool's shutdown, joined the same way: exeFolder + pathToMySqlBin +
// separator + mysqladmin(.exe), --defaults-file with `optionFile` (which must come first), -s,
// --port, --user when a user is given, and "shutdown". A password never goes here.
std::string DatabaseShutdownCommandLine(const AppSettings& settings, const std::string& exeFolder,
                                        const std::string& optionFile, int port,
                                        const std::string& user = "");
