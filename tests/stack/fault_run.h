// Whole runs of the start and stop sequences for the fault tests: a stack with the fake servers
// and a site file to fill in, the settings of a run that touches everything a fault can reach,
// and the checks that a run left nothing behind.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "archive_builder.h"
#include "fault_support.h"
#include "scripted_web_server.h"
#include "stack/account_texts.h"
#include "stack/database_server.h"
#include "stack/db_staging.h"
#include "stack/stack_state.h"
#include "stack/start_sequence.h"
#include "stack/stop_sequence.h"
#include "stack/web_server.h"
#include "stack_layout.h"
#include "sys/files.h"
#include "sys/launcher.h"
#include "sys/pure_socket.h"
#include "trace_capture.h"

namespace testsupport {

class FaultRun : public ::testing::Test {
protected:
    static constexpr char kSiteText[] = "port=%RMHUB:PORT%\nhost=%RMHUB:HOST%\n";

    FaultRun() {
        layout_.InstallServers();
        WriteFile(Site(), kSiteText);
    }

    // Servers of a test that failed before its stop are ended here; after a stop their ids may
    // belong to other processes already.
    void TearDown() override {
        if (!state_ || state_->IsStopping()) {
            return;
        }
        if (state_->webServer) {
            state_->webServer->Stop();
        }
        if (state_->databaseServer && state_->databaseServer->processId() != 0) {
            ProcessLauncher::TerminateTree(state_->databaseServer->processId());
        }
    }

    std::string Stack() const { return layout_.ExeFolder(); }
    // The site file that the runs fill in place.
    std::string Site() const { return Stack() + StackLayout::Native("htdocs/config.php"); }
    std::string Template(const std::string& name) const {
        return Stack() + StackLayout::Native("server/config_tpl/") + name;
    }

    // Both servers, a host name that needs a hosts-file entry, the site file, and the runtime
    // folder deleted at the end.
    static AppSettings RunSettings() {
        AppSettings settings = StackLayout::Settings(UnusedPort(), UnusedPort());
        settings.hostName = "127.0.0.2";
        settings.useMySQL = true;
        settings.deleteHttpTemp = true;
        settings.additionalFiles[0] = StackLayout::Native("htdocs/config.php");
        return settings;
    }

    // A state for a run that the runner started; a web server that never answers is given up
    // on after `readinessTimeoutMs`.
    StackState& MakeState(StackPlaces places, unsigned long readinessTimeoutMs = 90000) {
        StackTimeouts timeouts;
        timeouts.readinessTimeoutMs = readinessTimeoutMs;
        state_ = std::make_unique<StackState>(places, timeouts);
        state_->MarkRunnerStarted();
        return *state_;
    }

    // The start sequence on a thread of its own, waited for at most a minute: one that hangs
    // fails the test, and the stop request that follows ends a readiness wait that would go on.
    StartResult Start(AppSettings& settings) {
        std::future<StartResult> start = std::async(
            std::launch::async, [&] { return StartSequence(*state_, settings, shell_); });
        if (start.wait_for(std::chrono::minutes(1)) != std::future_status::ready) {
            ADD_FAILURE() << "the start sequence still runs after a minute";
            state_->BeginStop();
        }
        return start.get();
    }

    std::uint32_t WebProcess() const {
        return state_->webServer ? state_->webServer->processId() : 0;
    }
    std::uint32_t DatabaseProcess() const {
        return state_->databaseServer ? state_->databaseServer->processId() : 0;
    }

    bool DatabaseAnswers() const {
        return state_->databaseServer && IsPortInUse(state_->databaseServer->port(), "127.0.0.1");
    }

    // The runner's stop sequence, after which no server of the run is left, the frame was closed
    // once and, with deleteHttpTemp, the runtime folder is gone.
    void StopAndExpectNothingLeft(const AppSettings& settings) {
        const std::uint32_t web = WebProcess();
        const std::uint32_t database = DatabaseProcess();
        const std::string runtime = state_->runtimeFolder;
        // The stop shuts down a database server that answers on its port; one that has not
        // begun to listen yet would be left running, so the runs here give it that time.
        if (database != 0) {
            EXPECT_TRUE(Eventually([&] { return DatabaseAnswers(); }));
        }
        StopSequence(*state_, settings, shell_, false);
        EXPECT_EQ(shell_.Calls("close frame").size(), 1u);
        if (web != 0) {
            EXPECT_TRUE(Eventually([&] { return !ProcessRuns(web); })) << "web server " << web;
        }
        if (database != 0) {
            EXPECT_TRUE(Eventually([&] { return !ProcessRuns(database); }))
                << "database server " << database;
        }
        if (settings.deleteHttpTemp) {
            EXPECT_FALSE(PathExists(runtime)) << runtime;
        }
    }

    // Whether the trace holds the message.
    static bool Traced(const TraceCapture& trace, const std::string& message) {
        for (const std::string& line : trace.Messages()) {
            if (line == message) {
                return true;
            }
        }
        return false;
    }

    WinsockGuard sockets_;
    StackLayout layout_;
    RecordingShell shell_;
    std::unique_ptr<StackState> state_;
};

// Runs whose site file cannot get its ".bak".
class FaultBackup : public FaultRun {};

// Runs whose temporary folder takes nothing new.
class FaultTempFolder : public FaultRun {
protected:
    // No runtime folder can be made under `tempFolder`: the start is refused with a message,
    // before anything was changed or started, and nothing is written anywhere else instead.
    void RunWithoutRuntimeFolder(const std::string& tempFolder) {
        AppSettings settings = RunSettings();
        const std::string hostsBefore = ReadFile(layout_.HostsPath());
        const std::string before = TreeFingerprint(Stack());
        StackPlaces places = layout_.Places({}, {});
        places.tempFolder = tempFolder;
        StackState& state = MakeState(places);

        ASSERT_EQ(Start(settings), StartResult::kRefused);
        EXPECT_EQ(shell_.Calls("box"),
                  std::vector<std::string>{"box Error: " + settings.serverName +
                                           " can't be started: no private folder could be made "
                                           "in " +
                                           tempFolder});
        EXPECT_EQ(state.runtimeFolder, "");
        EXPECT_EQ(WebProcess(), 0u);
        EXPECT_EQ(DatabaseProcess(), 0u);
        EXPECT_EQ(ReadFile(layout_.HostsPath()), hostsBefore);
        EXPECT_EQ(TreeFingerprint(Stack()), before);
    }

    // A whole run with the runtime folder made under `tempFolder`, where nothing can be written
    // into it; the database from a mirror in the runtime folder, or from the encrypted archive.
    // The run goes on with what exists and the trace names what is missing.
    void RunWithUnusableTemp(const std::string& tempFolder, bool archive) {
        AppSettings settings = RunSettings();
        // The site file would be rewritten on the medium and put back: not what is looked at.
        settings.additionalFiles[0].clear();
        settings.localMirror = true;
        if (archive) {
            ASSERT_TRUE(testarchive::WriteArchive(
                Stack() + "dbdir.aes", ArchivePassPhrase(),
                testarchive::ZipBytes({{"dbdir/site.frm", std::string(256 * 1024, 's')}})));
        }
        const std::string hostsBefore = ReadFile(layout_.HostsPath());
        const std::string before = TreeFingerprint(Stack());
        StackPlaces places = layout_.Places({}, {});
        places.tempFolder = tempFolder;
        StackState& state = MakeState(places, 1500);
        TraceCapture trace;

        ASSERT_EQ(Start(settings), StartResult::kDone);
        const std::string runtime = state.runtimeFolder;
        EXPECT_TRUE(PathExists(runtime));
        EXPECT_EQ(settings.hostName, "127.0.0.1");
        EXPECT_TRUE(Traced(trace, "Hosts file entry for 127.0.0.2 not made, using 127.0.0.1"));
        for (const std::string name : {"httpd.conf", "my.ini", "php.ini"}) {
            EXPECT_TRUE(Traced(trace, "Configuration file not written: " + runtime + name +
                                          " from " + Template(name)))
                << name;
        }
        if (archive) {
            EXPECT_TRUE(
                Traced(trace, "Encrypted database not unpacked into " + UnpackFolderName(runtime)));
        } else {
            EXPECT_TRUE(
                Traced(trace, "Database mirror incomplete: " + runtime + "database" + Sep()));
        }
        // Both servers were started all the same, with what there is; the web server has no
        // configuration to listen by, so the wait for it runs out.
        ASSERT_NE(WebProcess(), 0u);
        EXPECT_TRUE(ProcessRuns(WebProcess()));
        EXPECT_NE(DatabaseProcess(), 0u);
        EXPECT_TRUE(Traced(trace, "Apache timeout"));

        StopAndExpectNothingLeft(settings);
        EXPECT_EQ(ReadFile(layout_.HostsPath()), hostsBefore);
        EXPECT_EQ(TreeFingerprint(Stack()), before);
    }
};

// Runs whose hosts file cannot take the entry for the site's host name.
class FaultHostsFile : public FaultRun {
protected:
    // The run goes on under 127.0.0.1, and nothing else of it fails.
    void RunWithoutHostsEntry() {
        AppSettings settings = RunSettings();
        StackState& state = MakeState(layout_.Places({}, {}));
        TraceCapture trace;

        ASSERT_EQ(Start(settings), StartResult::kDone);
        EXPECT_EQ(settings.hostName, "127.0.0.1");
        EXPECT_TRUE(Traced(trace, "Hosts file entry for 127.0.0.2 not made, using 127.0.0.1"));
        EXPECT_TRUE(Traced(trace, "Apache connected"));
        const std::string port = std::to_string(settings.port);
        const std::string runtime = state.runtimeFolder;
        EXPECT_EQ(
            TextOf(runtime + "httpd.conf").rfind("Listen " + port + "\nServerName 127.0.0.1\n", 0),
            0u);
        EXPECT_EQ(state.webServer->GetStartUrl(), "http://127.0.0.1:" + port + "/index.php");
        EXPECT_EQ(LoggedVariable(ReadFile(runtime + "fake_web.log"), "TRH_BASE_URL"),
                  "http://127.0.0.1:" + port);
        EXPECT_EQ(TextOf(Site()), "port=" + port + "\nhost=127.0.0.1\n");
        EXPECT_TRUE(Eventually([&] { return DatabaseAnswers(); }));

        StopAndExpectNothingLeft(settings);
        EXPECT_EQ(ReadFile(Site()), kSiteText);
        EXPECT_FALSE(PathExists(Site() + ".bak"));
    }
};

}  // namespace testsupport
