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

#include "archive_builder.h"
#include "scripted_web_server.h"
#include "stack/account_texts.h"
#include "stack/db_staging.h"
#include "stack/run_journal.h"
#include "stack_layout.h"
#include "sys/folders.h"
#include "sys/gate.h"
#include "trace_capture.h"
#include "trailhost_version.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

using testsupport::Eventually;
using testsupport::LoggedVariable;
using testsupport::LogValues;
using testsupport::NoStopPause;
using testsupport::ProcessRuns;
using testsupport::ReadFile;
using testsupport::RecordingShell;
using testsupport::ScriptedWebServer;
using testsupport::Sep;
using testsupport::StackLayout;
using testsupport::TextOf;
using testsupport::TraceCapture;
using testsupport::UnusedPort;
using testsupport::WriteFile;

namespace {

const std::vector<std::string> kAllProgress = {"progress 5",  "progress 10", "progress 60",
                                               "progress 70", "progress 70", "progress 80",
                                               "progress 95"};

#ifdef _WIN32
const std::string kEol = "\r\n";
#else
const std::string kEol = "\n";
#endif

// A run of a stack of its own without a browser, whose stop does not pause; one that a failed
// assertion leaves behind is stopped at the end of its scope.
class QuickRun {
public:
    QuickRun(const StackLayout& layout, AppSettings runSettings, const std::string& hostsPath = "")
        : settings(std::move(runSettings)), state(Places(layout, hostsPath), NoStopPause()) {
        settings.browserType = BrowserType::NONE;
        state.MarkRunnerStarted();
    }
    ~QuickRun() { Stop(); }
    QuickRun(const QuickRun&) = delete;
    QuickRun& operator=(const QuickRun&) = delete;

    StartResult Start() { return StartSequence(state, settings, shell); }
    void Stop() { StopSequence(state, settings, shell, true); }

    AppSettings settings;
    RecordingShell shell;
    StackState state;

private:
    static StackPlaces Places(const StackLayout& layout, const std::string& hostsPath) {
        StackPlaces places = layout.Places({}, {});
        if (!hostsPath.empty()) {
            places.hostsPath = hostsPath;
        }
        return places;
    }
};

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

    StackState& MakeState(const StackPlaces& places, StackTimeouts timeouts = {}) {
        state_ = std::make_unique<StackState>(places, timeouts);
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

    EXPECT_EQ(StartSequence(state, settings, shell_), StartResult::kRefused);
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
    EXPECT_EQ(StartSequence(again, settings, quiet), StartResult::kRefused);
    EXPECT_EQ(quiet.Calls(),
              (std::vector<std::string>{"box Error: Port taken: Demo can't be started"}));
}

TEST_F(Sequences, NoBrowserMeansNoReadinessWait) {
    layout_.InstallServers();
    layout_.AddToHttpdConf("FakeNeverListen 1\n");
    AppSettings settings = StackLayout::Settings(UnusedPort(), UnusedPort());
    settings.browserType = BrowserType::NONE;
    TraceCapture trace;
    StackState& state = MakeState(layout_.Places({}, {}));

    EXPECT_EQ(StartSequence(state, settings, shell_), StartResult::kDone);
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
    StackTimeouts timeouts;
    timeouts.readinessTimeoutMs = 700;
    StackState& state = MakeState(layout_.Places({}, {}), timeouts);

    EXPECT_EQ(StartSequence(state, settings, shell_), StartResult::kDone);
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
    EXPECT_EQ(StartSequence(state, settings, shell_), StartResult::kAbandoned);
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

    ASSERT_EQ(StartSequence(state, settings, shell_), StartResult::kDone);
    const std::string runtime = state.runtimeFolder;
    EXPECT_EQ(runtime,
              layout_.TempFolder() + "Trailhost_" + std::to_string(Process::CurrentId()) + Sep());
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
    EXPECT_EQ(LoggedVariable(dbLog, "TRH_SERVER_SOFTWARE"),
              std::string("Trailhost ") + TRAILHOST_VERSION);
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

// Two launchers of different sites share the machine's hosts file, and the user adds a line of
// their own while both run. Whichever stops first, each takes out only its own block.
TEST_F(Sequences, OverlappingRunsTakeOutOnlyTheirOwnHostsBlocks) {
    const std::string address = GetLocalIpAddress(0);
    if (address.empty()) {
        GTEST_SKIP() << "this machine has no address of its own";
    }
    const auto block = [&](const std::string& host) {
        return kEol + "#---TRH_START---" + kEol + address + "\t" + host + kEol + "#---TRH_END---" +
               kEol;
    };
    const std::string userLine = "10.0.0.9\tuser.test" + kEol;
    layout_.InstallServers();
    for (const bool firstStopsFirst : {true, false}) {
        StackLayout other;
        other.InstallServers();
        const std::string hosts = layout_.HostsPath();
        const std::string original = ReadFile(hosts);
        AppSettings first = StackLayout::Settings(UnusedPort(), UnusedPort());
        first.hostName = "127.0.0.2";
        AppSettings second = StackLayout::Settings(UnusedPort(), UnusedPort());
        second.hostName = "127.0.0.3";
        QuickRun a(layout_, first);
        QuickRun b(other, second, hosts);

        ASSERT_EQ(a.Start(), StartResult::kDone);
        ASSERT_EQ(b.Start(), StartResult::kDone);
        ASSERT_EQ(ReadFile(hosts), original + block("127.0.0.2") + block("127.0.0.3"));
        WriteFile(hosts, ReadFile(hosts) + userLine);

        (firstStopsFirst ? a : b).Stop();
        EXPECT_EQ(ReadFile(hosts),
                  original + block(firstStopsFirst ? "127.0.0.3" : "127.0.0.2") + userLine)
            << (firstStopsFirst ? "first" : "second") << " stopped first";
        (firstStopsFirst ? b : a).Stop();
        EXPECT_EQ(ReadFile(hosts), original + userLine);
        WriteFile(hosts, original);
    }
}

// A close while the encrypted database is unpacked: the stop breaks the unpacking off between
// files and waits for it, so nothing is written after the stop has removed the runtime folder.
TEST_F(Sequences, AStopDuringTheUnpackingBreaksItOffAndLeavesNothingBehind) {
    layout_.InstallServers();
    // A big first file, so that the stop comes while it is written, and many after it.
    std::vector<testarchive::Item> items = {{"dbdir/t0.ibd", std::string(32 << 20, 'a')}};
    for (int i = 1; i < 300; ++i) {
        items.push_back({"dbdir/t" + std::to_string(i) + ".ibd",
                         std::string(64 * 1024, static_cast<char>('a' + i % 26))});
    }
    ASSERT_TRUE(testarchive::WriteArchive(layout_.ExeFolder() + "dbdir.aes", ArchivePassPhrase(),
                                          testarchive::ZipBytes(items)));
    AppSettings settings = StackLayout::Settings(UnusedPort(), UnusedPort());
    settings.deleteHttpTemp = true;
    QuickRun run(layout_, settings);
    const std::string runtime =
        layout_.TempFolder() + "Trailhost_" + std::to_string(Process::CurrentId()) + Sep();
    const std::string unpacked = runtime + Sep() + "encdb" + Sep() + "dbdir" + Sep();
    TraceCapture trace;

    std::future<StartResult> start = std::async(std::launch::async, [&] { return run.Start(); });
    ASSERT_TRUE(Eventually([&] { return PathExists(unpacked + "t0.ibd"); }));
    run.Stop();
    // The stop went on only once the unpacking had stopped, after the file it was writing.
    EXPECT_EQ(trace.Count("Database unpacking broken off by the stop"), 1u);
    EXPECT_EQ(start.get(), StartResult::kAbandoned);
    EXPECT_EQ(run.state.webServer, nullptr);
    EXPECT_FALSE(PathExists(runtime));
}

// The unpacked database is for this user alone while the run lasts, and goes at its stop even
// when the runtime folder is kept.
TEST_F(Sequences, TheDecryptedDatabaseIsPrivateAndGoesAtEveryStop) {
    layout_.InstallServers();
    ASSERT_TRUE(testarchive::WriteArchive(layout_.ExeFolder() + "dbdir.aes", ArchivePassPhrase(),
                                          testarchive::ZipBytes({{"dbdir/site.frm", "secret"}})));
    AppSettings settings = StackLayout::Settings(UnusedPort(), UnusedPort());
    settings.deleteHttpTemp = false;
    QuickRun run(layout_, settings);

    ASSERT_EQ(run.Start(), StartResult::kDone);
    const std::string encdb = UnpackFolderName(run.state.runtimeFolder);
    EXPECT_EQ(ReadFile(encdb + "dbdir" + Sep() + "site.frm"), "secret");
#ifndef _WIN32
    struct stat st {};
    ASSERT_EQ(stat(encdb.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(stat((encdb + "dbdir/site.frm").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
#endif
    run.Stop();
    EXPECT_TRUE(PathExists(run.state.runtimeFolder + "httpd.conf"));
    EXPECT_FALSE(PathExists(encdb));
}

// DeleteDatabaseFiles deletes a mirror only where this run copied the database, and never a
// folder of the user's, the system's or the stack's.
TEST_F(Sequences, OnlyAMirrorThatTheRunFilledIsDeleted) {
    layout_.InstallServers();
    const std::string mirror = layout_.Root() + "mirror";
    const struct {
        bool localMirror;
        bool overwrite;
        std::string folder;
        bool deleted;
        const char* why;
    } cases[] = {
        {false, false, mirror, false, "no mirror was made: the folder is the user's"},
        {true, false, mirror, true, "the run's own mirror, named without a separator"},
        {true, false, mirror + Sep(), true, "the run's own mirror"},
        {true, true, layout_.Root(), false, "the folder that holds the stack"},
    };
    for (const auto& c : cases) {
        if (!c.localMirror) {
            CreateFolders(mirror);
            WriteFile(mirror + Sep() + "user.txt", "the user's");
        }
        AppSettings settings = StackLayout::Settings(UnusedPort(), UnusedPort());
        settings.localMirror = c.localMirror;
        settings.overwriteLocalMirror = c.overwrite;
        settings.mirrorFolder = c.folder;
        settings.deleteDatabaseFiles = true;
        QuickRun run(layout_, settings);
        ASSERT_EQ(run.Start(), StartResult::kDone) << c.why;
        if (c.localMirror) {
            // The system tables go inside the mirror, also when its name has no separator.
            const bool separator = c.folder.back() == kPathSeparator;
            EXPECT_EQ(ReadFile(c.folder + (separator ? "" : Sep()) +
                               StackLayout::Native("mysql/user.frm")),
                      "system tables")
                << c.why;
            EXPECT_TRUE(separator || !PathExists(c.folder + "mysql")) << c.why;
        }
        run.Stop();
        EXPECT_EQ(PathExists(c.folder), !c.deleted) << c.why;
        EXPECT_TRUE(PathExists(layout_.ExeFolder() + "dbdir")) << c.why;
        DeleteFolderTree(mirror);
    }
}

// A browser change that the browser's stop could not put back stays in the journal, with the
// runtime folder that holds it, for the next start; also when the frame's close path stopped the
// browser before the stop sequence asked.
TEST_F(Sequences, ABrowserChangeThatCouldNotBePutBackStaysForTheNextStart) {
    layout_.InstallServers();
    AppSettings settings = StackLayout::Settings(UnusedPort(), UnusedPort());
    settings.deleteHttpTemp = true;
    QuickRun run(layout_, settings);
    ASSERT_EQ(run.Start(), StartResult::kDone);
    const std::string runtime = run.state.runtimeFolder;
    ASSERT_TRUE(RecordInJournal(runtime, journal::kProxy, {"ProxyOverride", "1", "x", "site"}));
    ASSERT_TRUE(run.state.SetBrowserStop([] { return false; }));
    TraceCapture trace;

    EXPECT_FALSE(run.state.StopBrowser());
    run.Stop();
    std::vector<std::string> kinds;
    for (const JournalEntry& entry : ReadJournal(runtime)) {
        kinds.push_back(entry.kind);
    }
    EXPECT_EQ(kinds, (std::vector<std::string>{journal::kRun, journal::kProxy}));
    EXPECT_EQ(trace.Count("Browser settings not all put back"), 1u);
}

}  // namespace
