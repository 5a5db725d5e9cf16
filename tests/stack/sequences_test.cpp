#include "stack/start_sequence.h"
#include "stack/stop_sequence.h"

#include "stack/database_server.h"
#include "stack/web_server.h"
#include "sys/files.h"
#include "sys/launcher.h"
#include "sys/process_list.h"
#include "sys/pure_socket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>

#include "scripted_web_server.h"
#include "stack_layout.h"
#include "sys/gate.h"
#include "trace_capture.h"

using testsupport::Eventually;
using testsupport::LoggedVariable;
using testsupport::LogValues;
using testsupport::ProcessRuns;
using testsupport::ReadFile;
using testsupport::RecordingShell;
using testsupport::ScriptedWebServer;
using testsupport::Sep;
using testsupport::StackLayout;
using testsupport::TextOf;
using testsupport::TraceCapture;
using testsupport::UnusedPort;

namespace {

const std::vector<std::string> kAllProgress = {"progress 5",  "progress 10", "progress 60",
                                               "progress 70", "progress 70", "progress 80",
                                               "progress 95"};

class Sequences : public ::testing::Test {
protected:
    // Servers that a test started and did not stop itself are ended here.
    void TearDown() override {
        if (state_ && state_->webServer) {
            state_->webServer->Stop();
        }
        if (state_ && state_->databaseServer && state_->databaseServer->processId() != 0) {
            ProcessLauncher::TerminateTree(state_->databaseServer->processId());
        }
    }

    StackState& MakeState(const StackPlaces& places) {
        state_ = std::make_unique<StackState>(places);
        return *state_;
    }

    WinsockGuard sockets_;
    StackLayout layout_;
    RecordingShell shell_;
    std::unique_ptr<StackState> state_;
};

TEST_F(Sequences, TakenMandatoryPortRefusesTheStartWithTheConfiguredText) {
    layout_.InstallServers();
    ScriptedWebServer taken({""});
    AppSettings settings = StackLayout::Settings(taken.Port(), UnusedPort());
    settings.portMandatory = true;
    settings.portMandatoryErrorMessage = "Port taken: Demo can't be started";
    StackState& state = MakeState(layout_.Places({UnusedPort()}, {UnusedPort()}));

    EXPECT_EQ(StartSequence(state, settings, shell_), kStartRefused);
    EXPECT_EQ(shell_.Calls(), (std::vector<std::string>{
                                  "progress 5", "box Error: Port taken: Demo can't be started"}));
    EXPECT_EQ(state.webServer, nullptr);
    // What the earlier steps made stays, for the stop sequence to undo.
    EXPECT_TRUE(PathExists(state.runtimeFolder));
    EXPECT_FALSE(PathExists(state.runtimeFolder + "httpd.conf"));

    // Without a splash file there is no progress at all.
    RecordingShell quiet;
    settings.splashFile.clear();
    StackState again(layout_.Places({UnusedPort()}, {UnusedPort()}));
    EXPECT_EQ(StartSequence(again, settings, quiet), kStartRefused);
    EXPECT_EQ(quiet.Calls(),
              (std::vector<std::string>{"box Error: Port taken: Demo can't be started"}));
}

TEST_F(Sequences, NoBrowserMeansNoReadinessWait) {
    layout_.InstallServers();
    layout_.AddToHttpdConf("FakeNeverListen 1\n");
    AppSettings settings = StackLayout::Settings(UnusedPort(), UnusedPort());
    settings.browserType = NONE;
    TraceCapture trace;
    StackState& state = MakeState(layout_.Places({}, {}));

    EXPECT_EQ(StartSequence(state, settings, shell_), kStartDone);
    ASSERT_NE(state.webServer, nullptr);
    EXPECT_NE(state.webServer->processId(), 0u);
    EXPECT_EQ(shell_.Calls(),
              (std::vector<std::string>(kAllProgress.begin(), kAllProgress.end() - 1)));
    EXPECT_EQ(trace.Count("Apache started, waiting for connect"), 0u);
}

TEST_F(Sequences, ASilentWebServerIsGivenUpOnAtTheTimeOut) {
    layout_.InstallServers();
    layout_.AddToHttpdConf("FakeNeverListen 1\n");
    AppSettings settings = StackLayout::Settings(UnusedPort(), UnusedPort());
    TraceCapture trace;
    StackPlaces places = layout_.Places({}, {});
    places.readinessTimeoutMs = 700;
    StackState& state = MakeState(places);

    EXPECT_EQ(StartSequence(state, settings, shell_), kStartDone);
    EXPECT_EQ(shell_.Calls(), kAllProgress);
    const std::vector<std::string> messages = trace.Messages();
    const auto at = [&](const std::string& text) {
        return std::find(messages.begin(), messages.end(), text) - messages.begin();
    };
    EXPECT_LT(at("Apache started, waiting for connect"), at("Timeout set to 700"));
    EXPECT_LT(at("Timeout set to 700"), at("Apache timeout"));
    EXPECT_LT(at("Apache timeout"), static_cast<long>(messages.size()));
    EXPECT_EQ(trace.Count("Apache connected"), 0u);
    EXPECT_GE(trace.Count("Try connect: "), 2u);
}

TEST_F(Sequences, StopDoesNothingInAProcessThatNeverStartedTheStack) {
    AppSettings settings = StackLayout::Settings(UnusedPort(), UnusedPort());
    settings.shutdownMessage = "Stopping";
    settings.deleteHttpTemp = true;
    settings.shutdownCommands[0] = StackLayout::MarkerCommand(layout_.Root() + "shutdown.ran");
    StackState& state = MakeState(layout_.Places({}, {}));
    state.runtimeFolder = layout_.TempFolder();

    StopSequence(state, settings, shell_, false);
    StopSequence(state, settings, shell_, false);
    EXPECT_TRUE(shell_.Calls().empty());
    EXPECT_TRUE(PathExists(layout_.TempFolder()));
    EXPECT_FALSE(PathExists(layout_.Root() + "shutdown.ran"));

    // Nor does a start that comes after the stop has begun.
    state.MarkRunnerStarted();
    EXPECT_EQ(StartSequence(state, settings, shell_), kStartAbandoned);
    EXPECT_TRUE(shell_.Calls().empty());
    EXPECT_EQ(state.webServer, nullptr);
}

TEST_F(Sequences, WaitingForTheStopEndsWhenTheSequenceThatRunsHasEnded) {
    StackState& state = MakeState(layout_.Places({}, {}));
    state.WaitUntilStopEnded();

    ASSERT_TRUE(state.BeginStop());
    std::future<void> waiter = std::async(std::launch::async, [&] { state.WaitUntilStopEnded(); });
    EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    EXPECT_FALSE(state.BeginStop());
    state.EndStop();
    EXPECT_EQ(waiter.wait_for(std::chrono::minutes(1)), std::future_status::ready);
}

// A whole run without the runner: start, then two stop sequences at once.
TEST_F(Sequences, WholeRunWithFallbackHostAndKeptFolders) {
    layout_.InstallServers();
    const std::string startupMarker = layout_.Root() + "startup.ran";
    const std::string shutdownMarker = layout_.Root() + "shutdown.ran";
    const int webPort = UnusedPort();
    const int dbPort = UnusedPort();
    AppSettings settings = StackLayout::Settings(webPort, dbPort);
    settings.hostName = "127.0.0.3";  // gets no entry: the hosts file cannot be read
    settings.useMySQL = true;
    settings.localMirror = true;
    settings.startupCommands[1] = StackLayout::MarkerCommand(startupMarker);
    settings.shutdownCommands[2] = StackLayout::MarkerCommand(shutdownMarker);
    StackPlaces places = layout_.Places({}, {});
    places.hostsPath = layout_.Root() + StackLayout::Native("missing/hosts");
    StackState& state = MakeState(places);
    state.MarkRunnerStarted();

    ASSERT_EQ(StartSequence(state, settings, shell_), kStartDone);
    const std::string runtime = state.runtimeFolder;
    EXPECT_EQ(runtime,
              layout_.TempFolder() + "Trailhost_" + std::to_string(OwnProcessId()) + Sep());
    EXPECT_EQ(settings.hostName, "127.0.0.1");
    EXPECT_FALSE(PathExists(places.hostsPath));
    EXPECT_EQ(shell_.Calls(), kAllProgress);
    EXPECT_EQ(TextOf(runtime + "httpd.conf")
                  .rfind("Listen " + std::to_string(webPort) + "\nServerName 127.0.0.1\n", 0),
              0u);

    // The web server got its command line and the environment of the run.
    const std::string webLog = ReadFile(runtime + "fake_web.log");
    std::vector<std::string> webArgs = {state.places.exeFolder + settings.pathToApache, "-f",
                                        runtime + Sep() + "httpd.conf"};
#ifndef _WIN32
    webArgs.push_back("-DFOREGROUND");
#endif
    EXPECT_EQ(LogValues(webLog, "arg="), webArgs);
    EXPECT_EQ(LoggedVariable(webLog, "TRH_APACHE_PORT"), std::to_string(webPort));
    EXPECT_EQ(LoggedVariable(webLog, "TRH_BASE_URL"),
              "http://127.0.0.1:" + std::to_string(webPort));
    EXPECT_EQ(LoggedVariable(webLog, "TRH_MYSQL_PORT"), std::to_string(dbPort));
    EXPECT_EQ(LoggedVariable(webLog, "TRH_DB_PATH"), runtime + "database" + Sep());
    EXPECT_EQ(LoggedVariable(webLog, "TRH_TEMP_FOLDER"), runtime);
    EXPECT_EQ(LoggedVariable(webLog, "PHPRC"), runtime);
    EXPECT_EQ(LogValues(webLog, "request "), std::vector<std::string>{"GET / HTTP/1.0"});

    // So did the database server, on the chosen port.
    ASSERT_TRUE(Eventually([&] { return IsPortInUse(dbPort, "127.0.0.1"); }));
    const std::string dbLog = ReadFile(runtime + "fake_db.log");
    const std::vector<std::string> dbArgs = LogValues(dbLog, "arg=");
    ASSERT_EQ(dbArgs.size(), 5u) << dbLog;
    EXPECT_EQ(dbArgs[0], state.places.exeFolder + settings.pathToMySqlBin + Sep() + "mysqld" +
                             testsupport::kExe);
    EXPECT_EQ(dbArgs[1], "--defaults-file=" + runtime + Sep() + "my.ini");
    EXPECT_EQ(dbArgs[2], "--port=" + std::to_string(dbPort));
    EXPECT_EQ(dbArgs[3], "--language=" + state.places.exeFolder + settings.pathToMySqlShare +
                             Sep() + "english");
    EXPECT_EQ(dbArgs[4].rfind("--user=", 0), 0u);
    EXPECT_EQ(LoggedVariable(dbLog, "TRH_SERVER_SOFTWARE"), "Trailhost 1.8.0");
    EXPECT_TRUE(Eventually([&] { return PathExists(startupMarker); }));
    const std::uint32_t webProcess = state.webServer->processId();

    // Two callers at once: the sequence runs for one of them.
    testsupport::Gate go;
    std::thread first([&] {
        go.WaitOpen();
        StopSequence(state, settings, shell_, false);
    });
    std::thread second([&] {
        go.WaitOpen();
        StopSequence(state, settings, shell_, false);
    });
    go.Open();
    first.join();
    second.join();
    EXPECT_EQ(shell_.Calls("close frame").size(), 1u);
    EXPECT_TRUE(shell_.Calls("dialog").empty());
    EXPECT_TRUE(shell_.Calls("position").empty());

    // Both servers are down: the database server after its admin tool's request.
    EXPECT_TRUE(Eventually([&] { return !ProcessRuns(webProcess); }));
    EXPECT_FALSE(IsPortInUse(dbPort, "127.0.0.1"));
    EXPECT_EQ(LogValues(ReadFile(runtime + "fake_db.log"), "shutdown").size(), 1u);
    const std::vector<std::string> adminArgs =
        LogValues(ReadFile(runtime + "fake_dbadmin.log"), "arg=");
    ASSERT_GE(adminArgs.size(), 5u);
    EXPECT_EQ(adminArgs[0], state.places.exeFolder + settings.pathToMySqlBin + Sep() +
                                "mysqladmin" + testsupport::kExe);
    EXPECT_EQ(adminArgs[1], "--defaults-file=" + AdminOptionFileName(runtime));
    EXPECT_EQ(adminArgs[2], "-s");
    EXPECT_EQ(adminArgs[3], "--port=" + std::to_string(dbPort));
    EXPECT_EQ(adminArgs.back(), "shutdown");
    EXPECT_TRUE(Eventually([&] { return PathExists(shutdownMarker); }));

    // deleteHttpTemp and deleteDatabaseFiles are off: the runtime folder and the mirror stay.
    EXPECT_TRUE(PathExists(runtime + "httpd.conf"));
    EXPECT_EQ(ReadFile(runtime + StackLayout::Native("database/site.frm")), "site data");
}

}  // namespace
