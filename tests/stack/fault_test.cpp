// Whole runs of the start and stop sequences on stacks that meet a fault: a read-only medium, a
// temporary folder that takes nothing, a web server that ends at once, a hosts file that cannot
// take the entry, a hub_config.ini of garbage, folders where templates should be, a ".bak" that
// cannot be written. Faults that need Linux's mounts are in fault_test_posix.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "config/settings.h"
#include "config/settings_fields.h"
#include "fault_run.h"

using testsupport::Eventually;
using testsupport::FaultBackup;
using testsupport::FaultHostsFile;
using testsupport::FaultRun;
using testsupport::FaultTempFolder;
using testsupport::LoggedVariable;
using testsupport::LogValues;
using testsupport::ProcessRuns;
using testsupport::ReadFile;
using testsupport::Sep;
using testsupport::StackLayout;
using testsupport::TextOf;
using testsupport::TraceCapture;
using testsupport::TreeFingerprint;
using testsupport::UnusedPort;
using testsupport::WriteFile;

namespace {

// Puts a folder, holding one file, where the file `path` was.
void FolderInPlaceOf(const std::string& path) {
    std::filesystem::remove(path);
    std::filesystem::create_directories(path);
    WriteFile(path + Sep() + "inside.txt", "not a template");
}

class FaultMedium : public FaultRun {
protected:
    // A whole run on the stack made read-only, with the database in the stack's own data folder
    // (`mirror` empty) or in a mirror folder.
    void RunReadOnly(const std::string& mirror) {
        AppSettings settings = RunSettings();
        settings.localMirror = !mirror.empty();
        settings.mirrorFolder = mirror;
        settings.deleteDatabaseFiles = true;
        const std::string hostsBefore = ReadFile(layout_.HostsPath());
        StackState& state = MakeState(layout_.Places({}, {}));
        testsupport::ReadOnlyMedium readOnly(Stack());
        if (!readOnly.ok() || OpenFile(Site(), "r+")) {
            GTEST_SKIP() << "the stack cannot be made read-only here";
        }
        const std::string before = TreeFingerprint(Stack());
        TraceCapture trace;

        ASSERT_EQ(Start(settings), StartResult::kDone);
        EXPECT_TRUE(Traced(trace, "Apache connected"));
        EXPECT_TRUE(Traced(trace, "Additional file not expanded, it cannot be written: " + Site()));
        EXPECT_EQ(TextOf(Site()), kSiteText);
        const std::string runtime = state.runtimeFolder;
        EXPECT_EQ(settings.hostName, "127.0.0.2");
        EXPECT_EQ(LoggedVariable(ReadFile(runtime + "fake_web.log"), "TRH_DB_PATH"),
                  mirror.empty() ? Stack() + "dbdir" + Sep() : mirror);
        if (!mirror.empty()) {
            EXPECT_EQ(ReadFile(mirror + "site.frm"), "site data");
            EXPECT_EQ(ReadFile(mirror + StackLayout::Native("mysql/user.frm")), "system tables");
        }
        EXPECT_TRUE(Eventually([&] { return DatabaseAnswers(); }));

        StopAndExpectNothingLeft(settings);
        EXPECT_FALSE(PathExists(mirror));
        EXPECT_EQ(ReadFile(layout_.HostsPath()), hostsBefore);
        EXPECT_EQ(TreeFingerprint(Stack()), before);
    }
};

TEST_F(FaultMedium, AReadOnlyStackRunsAndIsLeftAsItWas) {
    RunReadOnly("");
}

TEST_F(FaultMedium, AReadOnlyStackRunsWithAMirrorOfItsDatabase) {
    RunReadOnly(layout_.Root() + "mirror" + Sep());
}

TEST_F(FaultTempFolder, AnUnwritableTemporaryFolderRefusesTheStart) {
    testsupport::UnwritableFolder temp(layout_.Root());
    if (!temp.ok()) {
        GTEST_SKIP() << "no folder can be made unwritable here";
    }
    RunWithoutRuntimeFolder(temp.path());
}

class FaultWebServer : public FaultRun {};

// A web server that ends right after its start (a configuration it cannot use): the wait for its
// answer ends with it, not at the time-out, the user is told how it ended and what its error log
// says, and the stop still takes down and puts back everything else.
TEST_F(FaultWebServer, AServerThatEndsAtOnceEndsTheStartWithAMessage) {
    layout_.AddToHttpdConf(
        "ErrorLog \"%RMHUB:RTDIR%web_error.log\"\nFakeNeverListen 1\nFakeExitAfterMs 1\n"
        "FakeExitCode 3\n");
    AppSettings settings = RunSettings();
    settings.shutdownMessage = "Stopping";
    const std::string hostsBefore = ReadFile(layout_.HostsPath());
    // A time-out far longer than the test may take: the wait must end with the server.
    StackState& state = MakeState(layout_.Places({}, {}), 600000);
    std::string dbLogAtStop;
    shell_.onPosition = [&](int position) {
        if (position == 30) {
            dbLogAtStop = ReadFile(state.runtimeFolder + "fake_db.log");
        }
    };
    TraceCapture trace;

    ASSERT_EQ(Start(settings), StartResult::kFailed);
    const std::string runtime = state.runtimeFolder;
    EXPECT_FALSE(ProcessRuns(WebProcess()));
    EXPECT_TRUE(Traced(trace, "Apache ended before it answered"));
    EXPECT_FALSE(Traced(trace, "Apache timeout"));
    EXPECT_FALSE(Traced(trace, "Apache connected"));
    const std::vector<std::string> boxes = shell_.Calls("box");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("box Error: The web server (" + state.webServer->programPath() +
                                 ") ended with exit status 3 while the site was starting.",
                             0),
              0u)
        << boxes[0];
    EXPECT_NE(boxes[0].find("fake_web: this configuration cannot be used"), std::string::npos)
        << boxes[0];
    // The rest of the start was done; no browser would open on the dead site.
    EXPECT_EQ(shell_.Calls("progress").back(), "progress 80");
    EXPECT_NE(ReadFile(layout_.HostsPath()), hostsBefore);
    EXPECT_EQ(TextOf(Site()), "port=" + std::to_string(settings.port) + "\nhost=127.0.0.2\n");
    EXPECT_TRUE(Eventually([&] { return DatabaseAnswers(); }));

    StopAndExpectNothingLeft(settings);
    EXPECT_EQ(LogValues(dbLogAtStop, "shutdown").size(), 1u);
    EXPECT_EQ(shell_.Calls("position").back(), "position 100");
    EXPECT_EQ(ReadFile(layout_.HostsPath()), hostsBefore);
    EXPECT_EQ(ReadFile(Site()), kSiteText);
    EXPECT_FALSE(PathExists(Site() + ".bak"));
}

// A database server that ends during the start (data files it cannot use): the user is told, with
// the end of its error log, and the run goes on without it.
TEST_F(FaultWebServer, ADatabaseServerThatEndsDuringTheStartIsToldOfAndTheRunGoesOn) {
    layout_.AddToHttpdConf("FakeAnswer404 10\n");
    layout_.AddToMyIni("log-error=%RMHUB:RTDIR%db_error.log\nfake-exit-at-start=5\n");
    AppSettings settings = RunSettings();
    StackState& state = MakeState(layout_.Places({}, {}));
    TraceCapture trace;
    ASSERT_EQ(Start(settings), StartResult::kDone);
    EXPECT_TRUE(Traced(trace, "Apache connected"));
    const std::vector<std::string> boxes = shell_.Calls("box");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(
        boxes[0].rfind("box Error: The database server (" + state.databaseServer->programPath() +
                           ") ended with exit status 5 while the site was starting.",
                       0),
        0u)
        << boxes[0];
    EXPECT_NE(boxes[0].find("fake_db: these data files cannot be used"), std::string::npos)
        << boxes[0];
    StopSequence(state, settings, shell_, false);
    EXPECT_TRUE(Eventually([&] { return !ProcessRuns(WebProcess()); }));
}

// Another program holds the hosts file (Windows), or it is immutable (Linux).
TEST_F(FaultHostsFile, ALockedHostsFileLeavesTheSiteOnTheLoopBackAddress) {
    const std::string before = ReadFile(layout_.HostsPath());
    {
        testsupport::LockedFile lock(layout_.HostsPath());
        if (!lock.ok() || OpenFile(layout_.HostsPath(), "a")) {
            GTEST_SKIP() << "the hosts file cannot be locked here";
        }
        RunWithoutHostsEntry();
    }
    EXPECT_EQ(ReadFile(layout_.HostsPath()), before);
}

TEST_F(FaultHostsFile, AFolderInPlaceOfTheHostsFileIsLeftAlone) {
    FolderInPlaceOf(layout_.HostsPath());
    const std::string etc = layout_.Root() + "etc";
    const std::string before = TreeFingerprint(etc);
    RunWithoutHostsEntry();
    EXPECT_EQ(TreeFingerprint(etc), before);
}

class FaultConfigFile : public FaultRun {};

// A hub_config.ini of garbage beside the launcher: the stack starts with the built-in settings.
TEST_F(FaultConfigFile, AHubConfigOfGarbageStartsTheStackWithTheDefaults) {
    const std::string ini = Stack() + "hub_config.ini";
    WriteFile(ini, testsupport::GarbageIniTexts().back());
    AppSettings defaults;
    ReadSettings(defaults, Stack() + "missing.ini");
    AppSettings settings;
    ReadSettings(settings, ini);
    ASSERT_EQ(testsupport::Fields(settings), testsupport::Fields(defaults));
    // The ports are the only values the test sets: the built-in ones belong to the machine.
    settings.port = UnusedPort();
    settings.mySQLPort = UnusedPort();
    StackState& state = MakeState(layout_.Places({}, {}));
    TraceCapture trace;

    ASSERT_EQ(Start(settings), StartResult::kDone);
    EXPECT_TRUE(Traced(trace, "Apache connected"));
    EXPECT_EQ(TextOf(state.runtimeFolder + "httpd.conf")
                  .rfind("Listen " + std::to_string(settings.port) + "\n", 0),
              0u);
    StopAndExpectNothingLeft(settings);
}

class FaultTemplates : public FaultRun {};

// Folders in place of the three templates and of the additional file: each is skipped and named
// in the trace, the servers start without them, and the folders stay as they were.
TEST_F(FaultTemplates, FoldersInPlaceOfTemplatesAreReportedAndLeftAlone) {
    for (const std::string name : {"httpd.conf", "my.ini", "php.ini"}) {
        FolderInPlaceOf(Template(name));
    }
    FolderInPlaceOf(Site());
    AppSettings settings = RunSettings();
    StackState& state = MakeState(layout_.Places({}, {}), 1500);
    const std::string before = TreeFingerprint(Stack());
    TraceCapture trace;

    ASSERT_EQ(Start(settings), StartResult::kDone);
    const std::string runtime = state.runtimeFolder;
    for (const std::string name : {"httpd.conf", "my.ini", "php.ini"}) {
        EXPECT_TRUE(Traced(
            trace, "Configuration file not written: " + runtime + name + " from " + Template(name)))
            << name;
        EXPECT_FALSE(PathExists(runtime + name)) << name;
    }
    EXPECT_TRUE(Traced(trace, "Additional file not expanded, it cannot be written: " + Site()));
    EXPECT_NE(WebProcess(), 0u);
    EXPECT_TRUE(Traced(trace, "Apache timeout"));

    StopAndExpectNothingLeft(settings);
    EXPECT_EQ(TreeFingerprint(Stack()), before);
}

// A folder where the site file's ".bak" would go (left there by hand, or by another program): it
// is the author's, and stays as it is; the run keeps the original under a name of its own and
// puts it back at its stop.
TEST_F(FaultBackup, AFolderInPlaceOfTheBackupIsLeftAlone) {
    FolderInPlaceOf(Site() + ".bak");
    AppSettings settings = RunSettings();
    MakeState(layout_.Places({}, {}));
    const std::string before = TreeFingerprint(Site() + ".bak");
    TraceCapture trace;

    ASSERT_EQ(Start(settings), StartResult::kDone);
    EXPECT_TRUE(Traced(trace, "Apache connected"));
    EXPECT_EQ(TextOf(Site()), "port=" + std::to_string(settings.port) + "\nhost=127.0.0.2\n");
    EXPECT_EQ(ReadFile(Site() + ".trh-bak"), kSiteText);

    StopAndExpectNothingLeft(settings);
    EXPECT_EQ(ReadFile(Site()), kSiteText);
    EXPECT_FALSE(PathExists(Site() + ".trh-bak"));
    EXPECT_EQ(TreeFingerprint(Site() + ".bak"), before);
}

}  // namespace
