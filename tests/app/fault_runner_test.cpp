// Whole runs of the server runner with the real browser hand-over, in which a server or the
// browser dies while the site is open.
#include "app/browser_handover.h"
#include "app/server_runner.h"

#include "stack/database_server.h"
#include "stack/stop_sequence.h"
#include "stack/web_server.h"
#include "sys/files.h"
#include "sys/launcher.h"
#include "sys/pure_socket.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "stack/stack_layout.h"
#include "stack/trace_capture.h"
#include "stack/scripted_web_server.h"

using testsupport::Eventually;
using testsupport::LogValues;
using testsupport::ProcessRuns;
using testsupport::ReadFile;
using testsupport::SetProcessVariable;
using testsupport::StackLayout;
using testsupport::UnusedPort;
using testsupport::WriteFile;

namespace {

constexpr int kGiveUpMs = 60000;
constexpr char kSiteText[] = "port=%RMHUB:PORT%\nhost=%RMHUB:HOST%\n";

using RecordingRunnerShell = testsupport::RecordingShell;

class FaultRunner : public ::testing::Test {
protected:
    FaultRunner() {
        layout_.InstallServers();
        WriteFile(site_, kSiteText);
        settings_.hostName = "127.0.0.2";
        settings_.useMySQL = true;
        settings_.localMirror = true;
        settings_.mirrorFolder = mirror_;
        settings_.deleteHttpTemp = true;
        settings_.deleteDatabaseFiles = true;
        settings_.shutdownMessage = "Stopping";
        settings_.additionalFiles[0] = StackLayout::Native("htdocs/config.php");
        // The fake browser, started by the starter that runs a browser program directly.
        settings_.browserType = BrowserType::CHROMIUM;
        settings_.browserPath = testsupport::HelperPath("fake_browser");
        SetProcessVariable("FAKE_BROWSER_LOG", browserLog_);
        // The frame's close path, as the application runs it.
        shell_.onCloseFrame = [this] {
            state_->StopBrowser();
            StopSequence(*state_, settings_, shell_, true);
        };
        shell_.onPosition = [this](int position) {
            if (position == 30) {
                adminRanBy30_ = PathExists(state_->runtimeFolder + "fake_dbadmin.log");
            }
        };
    }

    ~FaultRunner() override {
        for (const char* name :
             {"FAKE_BROWSER_LOG", "FAKE_BROWSER_UNTIL", "FAKE_BROWSER_EXIT_CODE"}) {
            SetProcessVariable(name, "");
        }
        // Servers of a test that failed before the stop; after it their ids may be others'.
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

    StackState& MakeState(StackPlaces places, StackTimeouts timeouts = {}) {
        state_ = std::make_unique<StackState>(std::move(places), timeouts);
        return *state_;
    }

    // Whether the browser has fetched the page: the site is open.
    bool BrowserShowsThePage() const {
        return !LogValues(ReadFile(browserLog_), "status ").empty();
    }

    std::uint32_t BrowserProcess() const {
        const std::vector<std::string> ids = LogValues(ReadFile(browserLog_), "pid ");
        return ids.empty() ? 0
                           : static_cast<std::uint32_t>(std::strtoul(ids[0].c_str(), nullptr, 10));
    }

    // What a run that went on to its normal end shows: the whole stop after the browser, every
    // server down, and everything the run changed put back.
    void ExpectTheNormalEnd(const testsupport::TraceCapture& trace, std::uint32_t web,
                            std::uint32_t database, const std::string& runtime) {
        std::vector<std::string> expected = {"progress 5",  "progress 10",  "progress 60",
                                             "progress 70", "progress 70",  "progress 80",
                                             "progress 95", "close splash", "dialog Stopping"};
        for (int position = 0; position <= 100; position += 10) {
            expected.push_back("position " + std::to_string(position));
        }
        expected.push_back("close frame");
        EXPECT_EQ(shell_.Calls(), expected);
        std::vector<std::string> steps;
        for (const std::string& message : trace.Messages()) {
            if (message == "Start Browser" || message == "Browser started") {
                steps.push_back(message);
            }
        }
        EXPECT_EQ(steps, (std::vector<std::string>{"Start Browser", "Browser started"}));
        EXPECT_TRUE(Eventually([&] { return !ProcessRuns(web); }));
        EXPECT_TRUE(Eventually([&] { return !ProcessRuns(database); }));
        EXPECT_EQ(ReadFile(layout_.HostsPath()), hostsBefore_);
        EXPECT_EQ(ReadFile(site_), kSiteText);
        EXPECT_FALSE(PathExists(site_ + ".bak"));
        EXPECT_FALSE(PathExists(runtime));
        EXPECT_FALSE(PathExists(mirror_));
    }

    WinsockGuard sockets_;
    StackLayout layout_;
    const std::string site_ = layout_.ExeFolder() + StackLayout::Native("htdocs/config.php");
    const std::string mirror_ = layout_.Root() + "mirror" + testsupport::Sep();
    const std::string browserLog_ = layout_.Root() + "browser.log";
    const std::string hostsBefore_ = ReadFile(layout_.HostsPath());
    AppSettings settings_ = StackLayout::Settings(UnusedPort(), UnusedPort());
    RecordingRunnerShell shell_;
    StarterHandover browser_;
    std::unique_ptr<StackState> state_;
    bool adminRanBy30_ = true;
};

// The database server dies while the site is open. The stop finds nothing to shut down and does
// not wait for it: with a wait of ten minutes for its end, the run ends within the test's minute.
TEST_F(FaultRunner, ADatabaseServerThatDiesWhileTheBrowserIsOpenDoesNotHoldUpTheStop) {
    const std::string closeBrowser = layout_.Root() + "close-browser";
    SetProcessVariable("FAKE_BROWSER_UNTIL", closeBrowser);
    StackTimeouts timeouts;
    timeouts.databaseStopWaitMs = 10 * 60 * 1000;
    StackState& state = MakeState(layout_.Places({}, {}), timeouts);
    testsupport::TraceCapture trace;

    CServerRunner runner(state, settings_, shell_, browser_);
    runner.Start();
    ASSERT_TRUE(Eventually([&] { return BrowserShowsThePage(); }));
    const std::uint32_t web = state.webServer->processId();
    const std::uint32_t database = state.databaseServer->processId();
    const std::string runtime = state.runtimeFolder;
    ASSERT_NE(database, 0u);
    ASSERT_TRUE(Eventually([&] { return IsPortInUse(settings_.mySQLPort, "127.0.0.1"); }));
    ProcessLauncher::TerminateTree(database);
    ASSERT_TRUE(Eventually(
        [&] { return !ProcessRuns(database) && !IsPortInUse(settings_.mySQLPort, "127.0.0.1"); }));
    WriteFile(closeBrowser, "");

    ASSERT_TRUE(runner.GetHandle().Wait(kGiveUpMs));
    ExpectTheNormalEnd(trace, web, database, runtime);
    EXPECT_FALSE(adminRanBy30_);
    EXPECT_EQ(LogValues(ReadFile(browserLog_), "exit").size(), 1u);
}

// A browser that crashes on its start: the run goes on to the stop as after a closed browser.
TEST_F(FaultRunner, ABrowserThatCrashesAtOnceEndsTheRunLikeAClosedOne) {
    SetProcessVariable("FAKE_BROWSER_EXIT_CODE", "3");
    StackState& state = MakeState(layout_.Places({}, {}));
    testsupport::TraceCapture trace;
    std::uint32_t web = 0, database = 0;
    std::string runtime;
    shell_.onPosition = [&](int position) {
        if (position == 0) {
            web = state.webServer->processId();
            database = state.databaseServer->processId();
            runtime = state.runtimeFolder;
        }
    };

    CServerRunner runner(state, settings_, shell_, browser_);
    runner.Start();
    ASSERT_TRUE(runner.GetHandle().Wait(kGiveUpMs));
    EXPECT_EQ(LogValues(ReadFile(browserLog_), "exit-code "), std::vector<std::string>{"3"});
    EXPECT_FALSE(BrowserShowsThePage());
    ExpectTheNormalEnd(trace, web, database, runtime);
}

// The browser is killed while it shows the site.
TEST_F(FaultRunner, AKilledBrowserEndsTheRunLikeAClosedOne) {
    SetProcessVariable("FAKE_BROWSER_UNTIL", layout_.Root() + "never");
    StackState& state = MakeState(layout_.Places({}, {}));
    testsupport::TraceCapture trace;

    CServerRunner runner(state, settings_, shell_, browser_);
    runner.Start();
    ASSERT_TRUE(Eventually([&] { return BrowserShowsThePage(); }));
    const std::uint32_t web = state.webServer->processId();
    const std::uint32_t database = state.databaseServer->processId();
    const std::string runtime = state.runtimeFolder;
    const std::uint32_t browser = BrowserProcess();
    ASSERT_NE(browser, 0u);
    ASSERT_TRUE(Eventually([&] { return IsPortInUse(settings_.mySQLPort, "127.0.0.1"); }));
    ProcessLauncher::TerminateTree(browser);

    ASSERT_TRUE(runner.GetHandle().Wait(kGiveUpMs));
    EXPECT_TRUE(LogValues(ReadFile(browserLog_), "exit").empty());
    ExpectTheNormalEnd(trace, web, database, runtime);
}

}  // namespace
