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
#include "sys/text.h"
#include "sys/trace.h"

namespace {

// How often the readiness wait looks whether the stop sequence has begun meanwhile.
constexpr unsigned long kStopCheckMs = 100;

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

}  // namespace

void PostStartupProgress(const AppSettings& settings, ShellServices& shell, int percent) {
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

namespace {

// One start: the values its phases work out for one another, and the phases in their order. A
// phase answers nothing to go on, or the sequence's result.
class StartRun {
public:
    using Result = std::optional<StartResult>;

    StartRun(StackState& state, AppSettings& settings, ShellServices& shell)
        : state_(state), settings_(settings), shell_(shell), places_(state.places) {}

    // The runtime folder, new and this user's alone: without one the run would have to write
    // its configuration and data where others could read or change them. From here on each
    // change to the machine is written down before it is made. Then the socket library, until
    // the end of the start.
    Result PrepareRuntime() {
        if (!state_.RunStartStep([&] {
                run_.runtimeFolder = CreateRuntimeFolder(places_.tempFolder, Process::CurrentId(),
                                                         settings_.hideTempFolder);
                if (run_.runtimeFolder.empty()) {
                    return;
                }
                state_.runtimeFolder = run_.runtimeFolder;
                RecordRunStart(run_.runtimeFolder, places_.exeFolder);
            })) {
            return StartResult::kAbandoned;
        }
        if (run_.runtimeFolder.empty()) {
            shell_.ShowMessageBox(settings_.serverName +
                                      " can't be started: no private folder could be made in " +
                                      places_.tempFolder,
                                  "Error");
            return StartResult::kRefused;
        }
        StartSockets(sockets_);
        localIp_ = GetLocalIpAddress(0);
        return std::nullopt;
    }

    // The hosts-file entry for a host name of the site's own. Without an address of the machine
    // there is no entry to make: the site is reached on the loop-back address.
    Result AddHostsEntry() {
        if (!state_.RunStartStep([&] {
                if (IsLocalHostName(settings_.hostName, localIp_)) {
                    return;
                }
                RecordInJournal(run_.runtimeFolder, journal::kHosts,
                                {places_.hostsPath, settings_.hostName, localIp_});
                if (::AddHostsEntry(settings_.hostName, localIp_, run_.runtimeFolder,
                                    places_.hostsPath)) {
                    state_.hostsEntryName = settings_.hostName;
                    state_.hostsEntryAddress = localIp_;
                    return;
                }
                TraceLog(kStackTracePath, "Hosts file entry for %s not made, using 127.0.0.1\n",
                         settings_.hostName.c_str());
                settings_.hostName = "127.0.0.1";
            })) {
            return StartResult::kAbandoned;
        }
        run_.hostName = settings_.hostName;
        return std::nullopt;
    }

    // The medium stays in its drive while the servers run from it; the application folder.
    Result HoldMedium() {
        PostStartupProgress(settings_, shell_, 5);
        run_.exeFolder = places_.exeFolder;
        if (std::unique_ptr<MediaDevice> media = MediaDevice::ForFolder(run_.exeFolder)) {
            LockMedia(media.get());
            if (!state_.Publish([&] { state_.media = std::move(media); })) {
                UnlockMedia(media.get());
                return StartResult::kAbandoned;
            }
        }
        run_.appFolder = run_.exeFolder;
        if (run_.appFolder.empty() || run_.appFolder.back() != kPathSeparator) {
            run_.appFolder += kPathSeparator;
        }
        if (!state_.Publish([&] { state_.appFolder = run_.appFolder; })) {
            return StartResult::kAbandoned;
        }
        return std::nullopt;
    }

    // The web port, refused when a mandatory one is taken, and the document root's name.
    Result ChooseWebPort() {
        run_.webPort = FindFreePort(settings_.hostName, settings_.port, places_.webPorts);
        if (settings_.portMandatory && run_.webPort != settings_.port) {
            shell_.ShowMessageBox(settings_.portMandatoryErrorMessage, "Error");
            return StartResult::kRefused;
        }
        run_.docRootName = settings_.defaultRoot.empty() ? "htdocs" : settings_.defaultRoot;
        return std::nullopt;
    }

    // The database files (a stop that comes meanwhile breaks the staging off between files),
    // and the database port, also when no database server is used.
    Result StageDatabase() {
        PostStartupProgress(settings_, shell_, 10);
        if (!state_.RunStartStep([&] {
                run_.dbFolder =
                    ::StageDatabase(settings_, run_.appFolder, run_.runtimeFolder,
                                    ArchivePassPhrase(), [&] { return state_.IsStopping(); });
            })) {
            return StartResult::kAbandoned;
        }
        PostStartupProgress(settings_, shell_, 60);
        run_.mySqlPort =
            FindFreePort(settings_.hostName, settings_.mySQLPort, places_.databasePorts);
        return std::nullopt;
    }

    // The site's additional files, expanded in place after a backup; httpd.conf, my.ini and
    // php.ini; the environment that every child started from here on inherits.
    Result WriteConfiguration() {
        if (!state_.RunStartStep([&] {
                state_.expandedFiles = ExpandAdditionalFiles(settings_, run_);
                PostStartupProgress(settings_, shell_, 70);
                configFolders_ =
                    ProduceConfigFiles(settings_, run_, MySqlAddress(settings_.mySQLMode));
            })) {
            return StartResult::kAbandoned;
        }
        PostStartupProgress(settings_, shell_, 70);
        SetStackEnvironment(settings_, run_);
        return std::nullopt;
    }

    Result RunStartupCommands() {
        RunCommands(settings_.startupCommands);
        return std::nullopt;
    }

    // The web server, then (with useMySQL) the database server, each written down as it starts.
    Result StartServers() {
        auto webServer = std::make_unique<WebServerControl>(settings_, run_.exeFolder);
        webServer->Start(configFolders_.httpdConf, run_.webPort);
        RecordServer(run_.runtimeFolder, webServer->process(), webServer->programPath());
        if (!state_.Publish([&] { state_.webServer = std::move(webServer); })) {
            webServer->Stop();
            return StartResult::kAbandoned;
        }
        if (settings_.useMySQL) {
            auto databaseServer = std::make_unique<DatabaseServerControl>(
                settings_, run_.mySqlPort, run_.exeFolder, state_.timeouts.databaseStopWaitMs,
                places_.databaseAccount);
            databaseServer->Start(configFolders_.myIni, run_.runtimeFolder);
            RecordServer(run_.runtimeFolder, databaseServer->process(),
                         databaseServer->programPath());
            if (!state_.Publish([&] { state_.databaseServer = std::move(databaseServer); })) {
                databaseServer->Stop();
                return StartResult::kAbandoned;
            }
        }
        PostStartupProgress(settings_, shell_, 80);
        return std::nullopt;
    }

    // Unless no browser is to open: the wait for the web server's first answer, its time-out, or
    // the web server's end (the user is told, and the start fails). A database server that ends
    // meanwhile is told of once; the start goes on without it.
    Result WaitForSite() {
        if (settings_.browserType == BrowserType::NONE) {
            return std::nullopt;
        }
        TraceLog(kStackTracePath, "Apache started, waiting for connect\n");
        const unsigned long timeoutMs = state_.timeouts.readinessTimeoutMs;
        TraceLog(kStackTracePath, "Timeout set to %d\n", static_cast<int>(timeoutMs));
        CWaitWebserverStart probe(run_.webPort, settings_.hostName);
        probe.Start();
        probe.SetPriority(kThreadPriorityLowest);
        bool databaseTold = !state_.databaseServer;
        const auto watchDatabase = [&] {
            if (databaseTold) {
                return;
            }
            const Process& database = state_.databaseServer->process();
            if (database.IsValid() && !database.IsRunning()) {
                databaseTold = true;
                TraceLog(kStackTracePath, "Database server ended during the start\n");
                TellEnded("database server", *state_.databaseServer, database,
                          configFolders_.myIni + "my.ini", "log-error");
            }
        };
        const Process webProcess = state_.webServer->process();
        const Readiness readiness =
            WaitForProbe(probe, timeoutMs, state_, webProcess, watchDatabase);
        if (readiness != Readiness::kAnswered) {
            probe.StopAndWait();
        }
        switch (readiness) {
            case Readiness::kStopping:
                return StartResult::kAbandoned;
            case Readiness::kServerEnded:
                TraceLog(kStackTracePath, "Apache ended before it answered\n");
                // A server that could not be started at all was told of by the launcher already.
                if (webProcess.IsValid()) {
                    TellEnded("web server", *state_.webServer, webProcess,
                              configFolders_.httpdConf + "httpd.conf", "ErrorLog");
                }
                return StartResult::kFailed;
            case Readiness::kTimedOut:
                PostStartupProgress(settings_, shell_, 95);
                TraceLog(kStackTracePath, "Apache timeout\n");
                return std::nullopt;
            case Readiness::kAnswered:
                break;
        }
        PostStartupProgress(settings_, shell_, 95);
        TraceLog(kStackTracePath, "Apache connected\n");
        return std::nullopt;
    }

private:
    // The box about a server of the run that ended by itself, with the end of the error log its
    // configuration names.
    template <typename Server>
    void TellEnded(const std::string& what, const Server& server, const Process& process,
                   const std::string& configFile, const std::string& logKey) {
        shell_.ShowMessageBox(
            EndedServerMessage(what, server.programPath(), process.ExitStatus(),
                               ConfiguredLogFile(configFile, logKey), run_.runtimeFolder),
            "Error");
    }

    StackState& state_;
    AppSettings& settings_;
    ShellServices& shell_;
    const StackPlaces& places_;
    RunValues run_;
    ConfigFolders configFolders_;
    std::optional<WinsockGuard> sockets_;
    std::string localIp_;
};

}  // namespace

void RunCommands(const std::vector<std::string>& commands) {
    for (const std::string& command : commands) {
        if (!command.empty()) {
            ProcessLauncher launcher;
            launcher.Launch(command, "", LaunchWait::None, false, WindowSearch::Direct);
        }
    }
}

StartResult StartSequence(StackState& state, AppSettings& settings, ShellServices& shell) {
    StartRun start(state, settings, shell);
    using Phase = StartRun::Result (StartRun::*)();
    for (const Phase phase :
         {&StartRun::PrepareRuntime, &StartRun::AddHostsEntry, &StartRun::HoldMedium,
          &StartRun::ChooseWebPort, &StartRun::StageDatabase, &StartRun::WriteConfiguration,
          &StartRun::RunStartupCommands, &StartRun::StartServers, &StartRun::WaitForSite}) {
        // A stop that has begun takes down what exists; nothing more is made.
        if (state.IsStopping()) {
            return StartResult::kAbandoned;
        }
        if (const StartRun::Result end = (start.*phase)()) {
            return *end;
        }
    }
    return StartResult::kDone;
}
