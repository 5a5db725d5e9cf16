#include "stack/start_sequence.h"
#include "stack/stop_sequence.h"
#include "stack/web_server.h"

#include "sys/files.h"
#include "sys/pure_socket.h"

#include <gtest/gtest.h>

#include <future>

#include "archive_builder.h"
#include "fake_tcp_server.h"
#include "stack/account_texts.h"
#include "stack/db_staging.h"
#include "stack/run_journal.h"
#include "stack/runtime.h"
#include "stack_layout.h"
#include "sys/gate.h"
#include "trace_capture.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace testsupport;

namespace {

// A run of a stack of its own without a browser, whose stop does not pause; one that a failed
// assertion leaves behind is stopped at the end of its scope.
class QuickRun {
public:
    QuickRun(StackPlaces places, AppSettings runSettings)
        : settings(std::move(runSettings)), state(std::move(places), NoStopPause()) {
        settings.browserType = BrowserType::NONE;
        state.MarkRunnerStarted();
    }
    ~QuickRun() { Stop(); }

    StartResult Start() { return StartSequence(state, settings, shell); }
    void Stop() { StopSequence(state, settings, shell, true); }

    AppSettings settings;
    RecordingShell shell;
    StackState state;
};

// A stack with its servers, and settings of its own ports.
class Sequences : public ::testing::Test {
protected:
    Sequences() { layout_.InstallServers(); }

    WinsockGuard sockets_;
    StackLayout layout_;
    AppSettings settings_ = StackLayout::Settings(UnusedPort(), UnusedPort());
};

TEST_F(Sequences, StopDoesNothingInAProcessThatNeverStartedTheStack) {
    RecordingShell shell;
    settings_.shutdownMessage = "Stopping";
    settings_.deleteHttpTemp = true;
    settings_.shutdownCommands[0] = StackLayout::MarkerCommand(layout_.Root() + "shutdown.ran");
    StackState state(layout_.Places({}, {}));
    state.runtimeFolder = layout_.TempFolder();

    StopSequence(state, settings_, shell, false);
    StopSequence(state, settings_, shell, false);
    EXPECT_TRUE(shell.Calls().empty());
    EXPECT_TRUE(PathExists(layout_.TempFolder()));
    EXPECT_FALSE(PathExists(layout_.Root() + "shutdown.ran"));

    // Nor does a start that comes after the stop has begun.
    state.MarkRunnerStarted();
    EXPECT_EQ(StartSequence(state, settings_, shell), StartResult::kAbandoned);
    EXPECT_TRUE(shell.Calls().empty());
    EXPECT_EQ(state.webServer, nullptr);
}

TEST_F(Sequences, WaitingForTheStopEndsWhenTheSequenceThatRunsHasEnded) {
    StackState state(layout_.Places({}, {}));
    state.WaitUntilStopEnded();

    ASSERT_TRUE(state.BeginStop());
    std::future<void> waiter = std::async(std::launch::async, [&] { state.WaitUntilStopEnded(); });
    EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    EXPECT_FALSE(state.BeginStop());
    state.EndStop();
    EXPECT_EQ(waiter.wait_for(std::chrono::minutes(1)), std::future_status::ready);
}

// Two callers of the stop at once (the runner and the frame's close path): the sequence runs for
// one of them.
TEST_F(Sequences, TwoStopsAtOnceRunTheSequenceOnce) {
    settings_.useMySQL = true;
    settings_.shutdownMessage = "Stopping";
    QuickRun run(layout_.Places({}, {}), settings_);
    ASSERT_EQ(run.Start(), StartResult::kDone);
    ASSERT_TRUE(Eventually([&] { return IsPortInUse(settings_.mySQLPort, "127.0.0.1"); }));
    const std::uint32_t webProcess = run.state.webServer->processId();

    Gate go;
    const auto stop = [&] {
        go.WaitOpen();
        StopSequence(run.state, run.settings, run.shell, false);
    };
    std::thread first(stop);
    std::thread second(stop);
    go.Open();
    first.join();
    second.join();
    EXPECT_EQ(run.shell.Calls("close frame").size(), 1u);
    EXPECT_EQ(run.shell.Calls("dialog").size(), 1u);
    EXPECT_FALSE(IsPortInUse(settings_.mySQLPort, "127.0.0.1"));
    EXPECT_TRUE(Eventually([&] { return !ProcessRuns(webProcess); }));
    EXPECT_EQ(LogValues(ReadFile(run.state.runtimeFolder + "fake_db.log"), "shutdown").size(), 1u);
}

// Another name of this machine, in any letter case, needs no hosts block.
TEST(LocalHostNames, AreTheLoopBackAndTheMachinesOwnAddress) {
    const std::pair<const char*, bool> rows[] = {{"localhost", true},  {"LocalHost", true},
                                                 {"127.0.0.1", true},  {"10.1.2.3", true},
                                                 {"127.0.0.2", false}, {"localhost.test", false}};
    for (const auto& [host, local] : rows) {
        EXPECT_EQ(IsLocalHostName(host, "10.1.2.3"), local) << host;
    }
}

// Two launchers of different sites share the machine's hosts file, and the user adds a line of
// their own while both run. Whichever stops first, each takes out only its own block.
TEST_F(Sequences, OverlappingRunsTakeOutOnlyTheirOwnHostsBlocks) {
    const std::string address = GetLocalIpAddress(0);
    if (address.empty()) {
        GTEST_SKIP() << "this machine has no address of its own";
    }
    const auto block = [&](const std::string& host) { return HostsBlock(host, address); };
    const std::string userLine = "10.0.0.9\tuser.test" + kEol;
    for (const bool firstStopsFirst : {true, false}) {
        StackLayout other;
        other.InstallServers();
        const std::string hosts = layout_.HostsPath();
        const std::string original = ReadFile(hosts);
        AppSettings first = StackLayout::Settings(UnusedPort(), UnusedPort());
        first.hostName = "127.0.0.2";
        AppSettings second = StackLayout::Settings(UnusedPort(), UnusedPort());
        second.hostName = "127.0.0.3";
        StackPlaces shared = other.Places({}, {});
        shared.hostsPath = hosts;
        QuickRun a(layout_.Places({}, {}), first);
        QuickRun b(shared, second);

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
    // A big first file, so that the stop comes while it is written, and many after it.
    std::vector<testarchive::Item> items = {{"dbdir/t0.ibd", std::string(32 << 20, 'a')}};
    for (int i = 1; i < 300; ++i) {
        items.push_back({"dbdir/t" + std::to_string(i) + ".ibd",
                         std::string(64 * 1024, static_cast<char>('a' + i % 26))});
    }
    ASSERT_TRUE(testarchive::WriteArchive(layout_.ExeFolder() + "dbdir.aes", ArchivePassPhrase(),
                                          testarchive::ZipBytes(items)));
    settings_.deleteHttpTemp = true;
    QuickRun run(layout_.Places({}, {}), settings_);
    const std::string runtime = RuntimeFolderName(layout_.TempFolder(), Process::CurrentId());
    const std::string unpacked = runtime + kSep + "encdb" + kSep + "dbdir" + kSep;
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

// A close while the start waits for a web server that never answers (the splash is up): the wait
// ends at once, not at its time-out (90 s here), and the stop ends both servers and leaves
// nothing.
TEST_F(Sequences, AStopWhileTheSiteIsAwaitedEndsTheWaitAndTheServers) {
    layout_.AddToHttpdConf("FakeNeverListen 1\n");
    settings_.deleteHttpTemp = true;
    settings_.useMySQL = true;
    QuickRun run(layout_.Places({}, {}), settings_);
    run.settings.browserType = BrowserType::CHROMIUM;
    const std::string runtime = RuntimeFolderName(layout_.TempFolder(), Process::CurrentId());
    std::vector<std::uint32_t> servers;
    std::future<StartResult> start = std::async(std::launch::async, [&] { return run.Start(); });
    ASSERT_TRUE(Eventually([&] {
        servers.clear();
        for (const JournalEntry& entry : ReadJournal(runtime)) {
            if (entry.kind == journal::kServer && !entry.fields.empty()) {
                servers.push_back(static_cast<std::uint32_t>(std::stoul("0" + entry.fields[0])));
            }
        }
        return servers.size() == 2;
    }));
    run.Stop();
    ASSERT_EQ(start.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_EQ(start.get(), StartResult::kAbandoned);
    EXPECT_TRUE(run.shell.Calls("box").empty());
    for (const std::uint32_t id : servers) {
        EXPECT_TRUE(Eventually([id] { return !ProcessRuns(id); })) << id;
    }
    EXPECT_FALSE(PathExists(runtime));
}

// The unpacked database is for this user alone while the run lasts, and goes at its stop even
// when the runtime folder is kept.
TEST_F(Sequences, TheDecryptedDatabaseIsPrivateAndGoesAtEveryStop) {
    ASSERT_TRUE(testarchive::WriteArchive(layout_.ExeFolder() + "dbdir.aes", ArchivePassPhrase(),
                                          testarchive::ZipBytes({{"dbdir/site.frm", "secret"}})));
    settings_.deleteHttpTemp = false;
    QuickRun run(layout_.Places({}, {}), settings_);

    ASSERT_EQ(run.Start(), StartResult::kDone);
    const std::string encdb = UnpackFolderName(run.state.runtimeFolder);
    EXPECT_EQ(ReadFile(encdb + "dbdir" + kSep + "site.frm"), "secret");
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

// A browser change that the browser's stop could not put back stays in the journal, with the
// runtime folder that holds it, for the next start; also when the frame's close path stopped the
// browser before the stop sequence asked.
TEST_F(Sequences, ABrowserChangeThatCouldNotBePutBackStaysForTheNextStart) {
    settings_.deleteHttpTemp = true;
    QuickRun run(layout_.Places({}, {}), settings_);
    ASSERT_EQ(run.Start(), StartResult::kDone);
    const std::string runtime = run.state.runtimeFolder;
    ASSERT_TRUE(RecordInJournal(runtime, journal::kProxy, {"ProxyOverride", "1", "x", "site"}));
    ASSERT_TRUE(RecordInJournal(runtime, journal::kProfiles, {runtime + "profile"}));
    ASSERT_TRUE(run.state.SetBrowserStop([] { return false; }));

    EXPECT_FALSE(run.state.StopBrowser());
    run.Stop();
    std::vector<std::string> kinds;
    for (const JournalEntry& entry : ReadJournal(runtime)) {
        kinds.push_back(entry.kind);
    }
    EXPECT_EQ(kinds,
              (std::vector<std::string>{journal::kRun, journal::kProxy, journal::kProfiles}));
}

}  // namespace
