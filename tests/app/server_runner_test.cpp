#include "app/server_runner.h"

#include "stack/database_server.h"
#include "stack/stop_sequence.h"
#include "stack/web_server.h"
#include "sys/files.h"
#include "sys/folders.h"
#include "sys/launcher.h"
#include "sys/process_list.h"
#include "sys/pure_socket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "stack/scripted_web_server.h"
#include "stack/stack_layout.h"
#include "stack/trace_capture.h"

using testsupport::Eventually;
using testsupport::LoggedVariable;
using testsupport::LogValues;
using testsupport::ProcessRuns;
using testsupport::ReadFile;
using testsupport::ScriptedWebServer;
using testsupport::Sep;
using testsupport::StackLayout;
using testsupport::TextOf;
using testsupport::UnusedPort;
using testsupport::WriteFile;

namespace {

constexpr int kGiveUpMs = 60000;

using RecordingRunnerShell = testsupport::RecordingShell;

// Opens the start URL in the fake browser, which fetches it and ends.
class FakeBrowserHandover : public BrowserHandover {
public:
    bool OpenSiteAndWait(StackState& state, const AppSettings& settings) override {
        ++opened;
        if (!followed) {
            return false;
        }
        if (settings.browserType == BrowserType::NONE || !state.SetBrowserStop([this] {
                ++stops;
                return true;
            })) {
            return true;
        }
        url = state.webServer->GetStartUrl();
        if (whileOpen) {
            whileOpen();
        }
        ProcessLauncher launcher;
        launcher.Launch(testsupport::HelperPath("fake_browser") + " " + url, "",
                        LaunchWait::UntilExit, true, WindowSearch::Direct);
        return followed;
    }

    std::atomic<int> opened{0};
    std::atomic<int> stops{0};
    std::string url;
    std::function<void()> whileOpen;
    bool followed = true;
};

class ServerRunner : public ::testing::Test {
protected:
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
    RecordingRunnerShell shell_;
    FakeBrowserHandover browser_;
    std::unique_ptr<StackState> state_;
};

TEST_F(ServerRunner, WholeRunFromStartToTheClosedFrame) {
    layout_.InstallServers();
    layout_.AddToHttpdConf("FakeAnswer404 2\n");
    const std::string site = layout_.ExeFolder() + StackLayout::Native("htdocs/config.php");
    WriteFile(site, "port=%RMHUB:PORT%\nhost=%RMHUB:HOST%\n");
    const std::string hostsBefore = ReadFile(layout_.HostsPath());
    const std::string mirror = layout_.Root() + "mirrordb";
    const std::string mirrorCut = layout_.Root() + "mirrord";
    std::filesystem::create_directories(mirrorCut);
    WriteFile(mirrorCut + StackLayout::Native("/keep.txt"), "not the mirror");
    const std::string startupMarker = layout_.Root() + "startup.ran";
    const std::string shutdownMarker = layout_.Root() + "shutdown.ran";
    const std::string browserLog = layout_.Root() + "browser.log";
    testsupport::SetProcessVariable("FAKE_BROWSER_LOG", browserLog);

    // The configured port is taken: the first free port of the table is used.
    ScriptedWebServer taken({""});
    const int webPort = UnusedPort();
    const int dbPort = UnusedPort();
    AppSettings settings = StackLayout::Settings(taken.Port(), dbPort);
    settings.hostName = "127.0.0.2";
    settings.useMySQL = true;
    settings.localMirror = true;
    settings.mirrorFolder = mirror;
    settings.deleteHttpTemp = true;
    settings.deleteDatabaseFiles = true;
    settings.shutdownMessage = "Stopping Trailhost";
    settings.additionalFiles[0] = StackLayout::Native("htdocs/config.php");
    settings.startupCommands[0] = StackLayout::MarkerCommand(startupMarker);
    settings.shutdownCommands[0] = StackLayout::MarkerCommand(shutdownMarker);
    StackState& state = MakeState(layout_.Places({webPort, UnusedPort()}, {}));
    const std::string localIp = GetLocalIpAddress(0);
    ASSERT_NE(localIp, "127.0.0.2");

    // What the machine looks like while the browser is open.
    std::string hostsDuring, siteDuring, webLog, runtime;
    browser_.whileOpen = [&] {
        runtime = state.runtimeFolder;
        hostsDuring = TextOf(layout_.HostsPath());
        siteDuring = TextOf(site);
        webLog = ReadFile(runtime + "fake_web.log");
    };
    // The order of the stops, seen from inside the stop sequence.
    std::uint32_t webProcess = 0, dbProcess = 0;
    std::string dbLogAfterStop, adminLog;
    bool webRanAt10 = false, dbRanAt20 = false, webEndedBy20 = false, dbEndedBy30 = false;
    bool shutdownCommandBefore30 = true;
    shell_.onPosition = [&](int position) {
        if (position == 10) {
            webProcess = state.webServer->processId();
            dbProcess = state.databaseServer->processId();
            webRanAt10 = ProcessRuns(webProcess);
        } else if (position == 20) {
            webEndedBy20 = Eventually([&] { return !ProcessRuns(webProcess); });
            dbRanAt20 = ProcessRuns(dbProcess) && IsPortInUse(dbPort, "127.0.0.1");
        } else if (position == 30) {
            dbEndedBy30 = !ProcessRuns(dbProcess);
            dbLogAfterStop = ReadFile(runtime + "fake_db.log");
            adminLog = ReadFile(runtime + "fake_dbadmin.log");
            shutdownCommandBefore30 = PathExists(shutdownMarker);
        }
    };
    // The frame's close path, as the application runs it.
    std::atomic<int> frameCloses{0};
    shell_.onCloseFrame = [&] {
        ++frameCloses;
        state.StopBrowser();
        StopSequence(state, settings, shell_, true);
        // As the program's close path: the runner's stop has ended by the time it closes the frame.
        state.WaitUntilStopEnded();
    };

    testsupport::TraceCapture trace;
    CServerRunner runner(state, settings, shell_, browser_);
    runner.Start();
    ASSERT_TRUE(runner.GetHandle().Wait(kGiveUpMs));
    testsupport::SetProcessVariable("FAKE_BROWSER_LOG", "");

    // The application saw the whole run, once.
    std::vector<std::string> expected = {
        "progress 5",  "progress 10",  "progress 60",
        "progress 70", "progress 70",  "progress 80",
        "progress 95", "close splash", "dialog Stopping Trailhost"};
    for (int position = 0; position <= 100; position += 10) {
        expected.push_back("position " + std::to_string(position));
    }
    expected.push_back("close frame");
    EXPECT_EQ(shell_.Calls(), expected);
    EXPECT_EQ(frameCloses, 1);
    std::vector<std::string> steps;
    for (const std::string& message : trace.Messages()) {
        if (message.rfind("Apache ", 0) == 0 || message.rfind("Timeout ", 0) == 0 ||
            message.rfind("Browser ", 0) == 0 || message.rfind("Start ", 0) == 0) {
            steps.push_back(message);
        }
    }
    EXPECT_EQ(steps, (std::vector<std::string>{"Apache started, waiting for connect",
                                               "Timeout set to 90000", "Apache connected",
                                               "Start Browser", "Browser started"}));
    EXPECT_EQ(browser_.opened, 1);
    EXPECT_EQ(browser_.stops, 1);

    // The site was served on the table's port under its own host name.
    const std::string url = "http://127.0.0.2:" + std::to_string(webPort) + "/index.php";
    EXPECT_EQ(browser_.url, url);
    const std::string browserText = ReadFile(browserLog);
    EXPECT_EQ(LogValues(browserText, "url "), std::vector<std::string>{url});
    EXPECT_EQ(LogValues(browserText, "status "), std::vector<std::string>{"HTTP/1.1 200 OK"});
    EXPECT_EQ(LoggedVariable(browserText, "TRH_BASE_URL"),
              "http://127.0.0.2:" + std::to_string(webPort));
    EXPECT_EQ(LoggedVariable(webLog, "TRH_APACHE_PORT"), std::to_string(webPort));
    // A mirror folder named without a separator is the folder itself, with one.
    EXPECT_EQ(LoggedVariable(webLog, "TRH_DB_PATH"), mirror + Sep());
    // Two answers of 404, then the ready one.
    EXPECT_EQ(LogValues(webLog, "request ").size(), 3u);
    EXPECT_EQ(hostsDuring, TextOf(layout_.HostsPath()) + "\n#---TRH_START---\n" + localIp +
                               "\t127.0.0.2\n#---TRH_END---\n");
    EXPECT_EQ(siteDuring, "port=" + std::to_string(webPort) + "\nhost=127.0.0.2\n");
    EXPECT_TRUE(PathExists(startupMarker));

    // The stops came in their order.
    EXPECT_TRUE(webRanAt10);
    EXPECT_TRUE(webEndedBy20);
    EXPECT_TRUE(dbRanAt20);
    EXPECT_TRUE(dbEndedBy30);
    EXPECT_FALSE(shutdownCommandBefore30);
    EXPECT_EQ(LogValues(dbLogAfterStop, "shutdown").size(), 1u);
    EXPECT_EQ(LogValues(adminLog, "arg=").back(), "shutdown");
    EXPECT_TRUE(Eventually([&] { return PathExists(shutdownMarker); }));

    // Everything the run changed is back, and its folders are gone.
    EXPECT_EQ(ReadFile(layout_.HostsPath()), hostsBefore);
    EXPECT_EQ(ReadFile(site), "port=%RMHUB:PORT%\nhost=%RMHUB:HOST%\n");
    EXPECT_FALSE(PathExists(site + ".bak"));
    EXPECT_FALSE(PathExists(runtime));
    EXPECT_FALSE(PathExists(mirror));
    EXPECT_EQ(ReadFile(mirrorCut + StackLayout::Native("/keep.txt")), "not the mirror");
}

// After the box, the splash goes, what the start made (here a hosts entry) is taken down, and
// the frame is closed, which ends the program.
TEST_F(ServerRunner, ARefusedStartClosesTheSplashUndoesTheStartAndEndsTheProgram) {
    layout_.InstallServers();
    ScriptedWebServer taken({""});
    AppSettings settings = StackLayout::Settings(taken.Port(), UnusedPort());
    settings.portMandatory = true;
    settings.hostName = "127.0.0.2";
    const std::string hostsBefore = ReadFile(layout_.HostsPath());
    StackState& state = MakeState(layout_.Places({UnusedPort()}, {}));

    CServerRunner runner(state, settings, shell_, browser_);
    runner.Start();
    ASSERT_TRUE(runner.GetHandle().Wait(kGiveUpMs));
    EXPECT_EQ(shell_.Calls(), (std::vector<std::string>{
                                  "progress 5", "box Error: " + settings.portMandatoryErrorMessage,
                                  "close splash", "close frame"}));
    EXPECT_EQ(browser_.opened, 0);
    EXPECT_TRUE(state.IsStopping());
    EXPECT_EQ(ReadFile(layout_.HostsPath()), hostsBefore);
}

// Kept running by the setting, or because the browser could not be followed to its end (the
// user is then told that the site stays until Close).
TEST_F(ServerRunner, TheStackStaysUpUntilTheFrameStopsIt) {
    struct Row {
        bool keepRunning;
        bool followed;
        std::vector<std::string> calls;
    };
    const Row rows[] = {{true, true, {}}, {false, false, {"running until close"}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.keepRunning ? "keep running" : "not followed");
        shell_.Clear();
        browser_.opened = 0;
        browser_.followed = row.followed;
        layout_.InstallServers();
        layout_.AddToHttpdConf("FakeNeverListen 1\n");
        AppSettings settings = StackLayout::Settings(UnusedPort(), UnusedPort());
        settings.browserType = BrowserType::NONE;
        settings.keepRunningAfterBrowserClose = row.keepRunning;
        settings.splashFile.clear();
        StackState& state = MakeState(layout_.Places({}, {}));

        CServerRunner runner(state, settings, shell_, browser_);
        runner.Start();
        ASSERT_TRUE(Eventually([&] { return browser_.opened == 1; }));
        EXPECT_FALSE(runner.GetHandle().Wait(CServerRunner::kKeepRunningPassMs + 500));
        const Process webProcess = state.webServer->process();
        EXPECT_TRUE(webProcess.IsRunning());
        EXPECT_FALSE(state.IsStopping());

        // The frame's close path (the tray's Close, or a second copy's shutdown request).
        state.StopBrowser();
        StopSequence(state, settings, shell_, true);
        state.WaitUntilStopEnded();
        EXPECT_TRUE(webProcess.WaitForExit(kGiveUpMs));
        // The runner ends by itself, without a stop sequence of its own.
        EXPECT_TRUE(runner.GetHandle().Wait(kGiveUpMs));
        // No splash file: neither progress nor a splash to close; no frame to close from the
        // runner.
        EXPECT_EQ(shell_.Calls(), row.calls);
    }
}

}  // namespace
