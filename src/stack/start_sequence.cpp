#include "stack/start_sequence.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cctype>
#include <memory>
#include <functional>
#include <optional>

#include "stack/account_texts.h"
#include "stack/database_server.h"
#include "stack/db_staging.h"
#include "stack/hosts_file.h"
#include "stack/run_journal.h"
#include "stack/run_recovery.h"
#include "stack/server_logs.h"
#include "stack/runtime.h"
#include "stack/stack_trace.h"
#include "stack/templates.h"
#include "stack/wait_webserver_start.h"
#include "stack/web_server.h"
#include "sys/files.h"
#include "sys/folders.h"
#include "sys/launcher.h"
#include "sys/pure_socket.h"
#include "sys/trace.h"

namespace {

// How often the readiness wait looks whether the stop sequence has begun meanwhile.
constexpr unsigned long kStopCheckMs = 100;

bool EqualsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

enum class Readiness { kAnswered, kTimedOut, kStopping, kServerEnded };

// Waits until the probe has ended (the web server answered), the time-out has passed, the stop
// sequence began or the calling thread was asked to stop, or the web server has ended. `watch`
// runs at every look meanwhile.
Readiness WaitForProbe(CWaitWebserverStart& probe, unsigned long timeoutMs, StackState& state,
                       const Process& webServer, const std::function<void()>& watch) {
    using Clock = std::chrono::steady_clock;
    const ThreadHandle handle = probe.GetHandle();
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return handle.Wait(0) ? Readiness::kAnswered : Readiness::kTimedOut;
        }
        if (handle.Wait(std::min<unsigned long>(static_cast<unsigned long>(left), kStopCheckMs))) {
            return Readiness::kAnswered;
        }
        if (state.IsStopping() || CThread::StopRequested()) {
            return Readiness::kStopping;
        }
        if (!webServer.IsRunning()) {
            return Readiness::kServerEnded;
        }
        watch();
    }
}

// The message about a server of the run that ended by itself; its error log is looked for in
// the configuration the run produced for it.
std::string EndedServerText(const std::string& what, const std::string& program,
                            const Process& server, const std::string& configFile,
                            const std::string& logKey, const std::string& runtimeFolder) {
    return EndedServerMessage(what, program, server.ExitStatus(),
                              ConfiguredLogFile(configFile, logKey), runtimeFolder);
}

}  // namespace

void PostStartupProgress(const AppSettings& settings, StackShell& shell, int percent) {
    if (settings.showStartupProgress && !settings.splashFile.empty()) {
        shell.PostStartupProgress(percent);
    }
}

void StartSockets(std::optional<WinsockGuard>& sockets) {
    try {
        sockets.emplace();
    } catch (const CNotSupportedException&) {
    }
}

bool IsLocalHostName(const std::string& hostName, const std::string& localIp) {
    return EqualsNoCase(hostName, "127.0.0.1") || EqualsNoCase(hostName, "localhost") ||
           EqualsNoCase(hostName, localIp);
}

int StartSequence(StackState& state, AppSettings& settings, StackShell& shell) {
    const StackPlaces& places = state.places;
    RunValues run;
    if (state.IsStopping()) {
        return kStartAbandoned;
    }

    // 1. The runtime folder and its session folder, new and this user's alone. Without one the
    // run would have to write its configuration and data where others could read or change them.
    if (!state.RunStartStep([&] {
            run.runtimeFolder =
                CreateRuntimeFolder(places.tempFolder, OwnProcessId(), settings.hideTempFolder);
            if (run.runtimeFolder.empty()) {
                return;
            }
            state.runtimeFolder = run.runtimeFolder;
            // From here on each change to the machine is written down before it is made.
            RecordRunStart(run.runtimeFolder, places.exeFolder);
        })) {
        return kStartAbandoned;
    }
    if (run.runtimeFolder.empty()) {
        shell.ShowMessageBox(settings.serverName +
                                 " can't be started: no private folder could be made in " +
                                 places.tempFolder,
                             "Error");
        return kStartRefused;
    }

    // 2. The socket library, until the end of the sequence.
    std::optional<WinsockGuard> sockets;
    StartSockets(sockets);
    const std::string localIp = GetLocalIpAddress(0);

    // 3. The hosts-file entry for a host name of the site's own. Without an address of the
    // machine there is no entry to make: the site is reached on the loop-back address.
    if (!state.RunStartStep([&] {
            if (IsLocalHostName(settings.hostName, localIp)) {
                return;
            }
            RecordInJournal(run.runtimeFolder, journal::kHosts,
                            {places.hostsPath, settings.hostName, localIp});
            if (AddHostsEntry(settings.hostName, localIp, run.runtimeFolder, places.hostsPath)) {
                state.hostsEntryName = settings.hostName;
                state.hostsEntryAddress = localIp;
                return;
            }
            TraceLog(kStackTracePath, "Hosts file entry for %s not made, using 127.0.0.1\n",
                     settings.hostName.c_str());
            settings.hostName = "127.0.0.1";
        })) {
        return kStartAbandoned;
    }
    run.hostName = settings.hostName;

    // 4. The medium stays in its drive while the servers run from it.
    PostStartupProgress(settings, shell, 5);
    run.exeFolder = places.exeFolder;
    if (std::unique_ptr<MediaDevice> media = MediaDevice::ForFolder(run.exeFolder)) {
        LockMedia(media.get());
        if (!state.Publish([&] { state.mediaHandle = std::move(media); })) {
            UnlockMedia(media.get());
            return kStartAbandoned;
        }
    }

    // 5. The application folder.
    run.appFolder = run.exeFolder;
    if (run.appFolder.empty() || run.appFolder.back() != kPathSeparator) {
        run.appFolder += kPathSeparator;
    }
    if (!state.Publish([&] { state.appFolder = run.appFolder; })) {
        return kStartAbandoned;
    }

    // 6. The web port.
    run.webPort = FindFreePort(settings.hostName, settings.port, places.webPorts);
    if (settings.portMandatory && run.webPort != settings.port) {
        shell.ShowMessageBox(settings.portMandatoryErrorMessage, "Error");
        return kStartRefused;
    }

    // 7. The document root's name.
    run.docRootName = settings.defaultRoot.empty() ? "htdocs" : settings.defaultRoot;

    // 8. The database files. A stop that comes meanwhile breaks the staging off between files.
    PostStartupProgress(settings, shell, 10);
    if (!state.RunStartStep([&] {
            run.dbFolder = StageDatabase(settings, run.appFolder, run.runtimeFolder,
                                         ArchivePassPhrase(), [&] { return state.IsStopping(); });
        }) ||
        state.IsStopping()) {
        return kStartAbandoned;
    }

    // 9. The database port, also when no database server is used.
    PostStartupProgress(settings, shell, 60);
    run.mySqlPort = FindFreePort(settings.hostName, settings.mySQLPort, places.databasePorts);

    // 10. The site's additional files, expanded in place after a backup; 11 to 13. httpd.conf,
    // my.ini and php.ini.
    ConfigFolders configFolders;
    if (!state.RunStartStep([&] {
            state.expandedFiles = ExpandAdditionalFiles(settings, run);
            PostStartupProgress(settings, shell, 70);
            configFolders = ProduceConfigFiles(settings, run, MySqlAddress(settings.mySQLMode));
        })) {
        return kStartAbandoned;
    }

    // 14. The environment that every child started from here on inherits.
    PostStartupProgress(settings, shell, 70);
    SetStackEnvironment(settings, run);

    // 15. The start-up commands; nothing waits for them.
    if (state.IsStopping()) {
        return kStartAbandoned;
    }
    for (const std::string& command : settings.startupCommands) {
        if (!command.empty()) {
            ProcessLauncher launcher;
            launcher.Launch(command, "", LaunchWait::None, false, WindowSearch::Direct);
        }
    }

    // 17. The web server.
    auto webServer = std::make_unique<WebServerControl>(settings, run.exeFolder);
    webServer->Start(configFolders.httpdConf, run.webPort);
    RecordServer(run.runtimeFolder, webServer->process(), webServer->programPath());
    if (!state.Publish([&] { state.webServer = std::move(webServer); })) {
        webServer->Stop();
        return kStartAbandoned;
    }

    // 18. The database server.
    if (settings.useMySQL) {
        auto databaseServer = std::make_unique<DatabaseServerControl>(
            settings, run.mySqlPort, run.exeFolder, places.databaseStopWaitMs,
            places.databaseAccount);
        databaseServer->Start(configFolders.myIni, run.runtimeFolder);
        RecordServer(run.runtimeFolder, databaseServer->process(), databaseServer->programPath());
        if (!state.Publish([&] { state.databaseServer = std::move(databaseServer); })) {
            databaseServer->Stop();
            return kStartAbandoned;
        }
    }
    PostStartupProgress(settings, shell, 80);

    // 20. The wait for the web server's first answer.
    if (settings.browserType != NONE) {
        TraceLog(kStackTracePath, "Apache started, waiting for connect\n");
        const unsigned long timeoutMs = places.readinessTimeoutMs;
        TraceLog(kStackTracePath, "Timeout set to %d\n", static_cast<int>(timeoutMs));
        CWaitWebserverStart probe(&state, run.webPort, settings.hostName);
        probe.Start();
        probe.SetPriority(kThreadPriorityLowest);
        // A database server that ends meanwhile is told of once; the start goes on without it.
        bool databaseTold = !state.databaseServer;
        const auto watchDatabase = [&] {
            if (databaseTold) {
                return;
            }
            const Process& database = state.databaseServer->process();
            if (database.IsValid() && !database.IsRunning()) {
                databaseTold = true;
                TraceLog(kStackTracePath, "Database server ended during the start\n");
                shell.ShowMessageBox(
                    EndedServerText("database server", state.databaseServer->programPath(),
                                    database, configFolders.myIni + "my.ini", "log-error",
                                    run.runtimeFolder),
                    "Error");
            }
        };
        const Process webProcess = state.webServer->process();
        const Readiness readiness =
            WaitForProbe(probe, timeoutMs, state, webProcess, watchDatabase);
        if (readiness == Readiness::kStopping) {
            probe.Kill(0, true);
            return kStartAbandoned;
        }
        if (readiness == Readiness::kServerEnded) {
            probe.Kill(0, true);
            TraceLog(kStackTracePath, "Apache ended before it answered\n");
            // A server that could not be started at all was told of by the launcher already.
            if (webProcess.IsValid()) {
                shell.ShowMessageBox(
                    EndedServerText("web server", state.webServer->programPath(), webProcess,
                                    configFolders.httpdConf + "httpd.conf", "ErrorLog",
                                    run.runtimeFolder),
                    "Error");
            }
            return kStartFailed;
        }
        PostStartupProgress(settings, shell, 95);
        if (readiness == Readiness::kTimedOut) {
            TraceLog(kStackTracePath, "Apache timeout\n");
            probe.Kill(0, true);
        } else {
            TraceLog(kStackTracePath, "Apache connected\n");
        }
    }
    return kStartDone;
}
