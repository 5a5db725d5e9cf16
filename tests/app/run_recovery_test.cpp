// A run that is killed after it has changed the machine, and the next start that finds it: the
// killed run is imitated by a start sequence whose stop never comes (its journal names this
// process, whose runtime folder counts as an earlier one's).
#include "app/run_recovery.h"

#include <gtest/gtest.h>

#include <string>

#include "browser/starters.h"
#include "stack/database_server.h"
#include "stack/run_journal.h"
#include "stack/scripted_web_server.h"
#include "stack/fault_support.h"
#include "stack/stack_layout.h"
#include "stack/trace_capture.h"
#include "stack/start_sequence.h"
#include "stack/stop_sequence.h"
#include "stack/web_server.h"
#include "sys/files.h"
#include "sys/launcher.h"
#include "sys/pure_socket.h"
#include "sys/registry.h"

using testsupport::Eventually;
using testsupport::ProcessRuns;
using testsupport::ReadFile;
using testsupport::RecordingShell;
using testsupport::Sep;
using testsupport::StackLayout;
using testsupport::TraceCapture;
using testsupport::UnusedPort;
using testsupport::WriteFile;

namespace {

const char kInternetSettings[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const char kProxyOverride[] = "ProxyOverride";
const char kBlockStart[] = "#---TRH_START---";

// The proxy exceptions of the build's own Wine prefix, put back after the test; nothing on
// Linux, where the exceptions live in the process's environment only.
class ProxyValue {
public:
    ProxyValue() : key_(RegistryRoot::CurrentUser, kInternetSettings, true) {
        present_ = key_.QueryString(kProxyOverride, before_);
    }
    ~ProxyValue() {
        if (key_.IsOpen()) {
            key_.SetString(kProxyOverride, present_ ? before_.c_str() : "");
        }
    }
    bool Available() const { return key_.IsOpen(); }
    void Set(const std::string& value) { key_.SetString(kProxyOverride, value.c_str()); }
    std::string Get() {
        std::string value;
        key_.QueryString(kProxyOverride, value);
        return value;
    }

private:
    CXRegistry key_;
    bool present_ = false;
    std::string before_;
};

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

class RunRecovery : public ::testing::Test {
protected:
    RunRecovery() {
        layout_.InstallServers();
        WriteFile(layout_.ExeFolder() + StackLayout::Native("htdocs/site.ini"),
                  "port=%RMHUB:PORT%\n");
        original_ = ReadFile(layout_.ExeFolder() + StackLayout::Native("htdocs/site.ini"));
        hosts_ = ReadFile(layout_.HostsPath());
        settings_ = StackLayout::Settings(UnusedPort(), UnusedPort());
        // Not this machine's name: the run adds a block to the (test's own) hosts file.
        settings_.hostName = "127.0.0.2";
        settings_.useMySQL = true;
        settings_.deleteHttpTemp = true;
        settings_.browserType = BrowserType::EXTERNAL;
        settings_.additionalFiles[0] = StackLayout::Native("htdocs/site.ini");
    }

    std::string SiteFile() const {
        return layout_.ExeFolder() + StackLayout::Native("htdocs/site.ini");
    }

    StackPlaces QuickPlaces() const { return layout_.Places({}, {}); }

    WinsockGuard sockets_;
    StackLayout layout_;
    RecordingShell shell_;
    AppSettings settings_;
    std::string original_;
    std::string hosts_;
};

TEST_F(RunRecovery, NextStartPutsTheMachineBackAndEndsTheServers) {
    // A mirror the killed run filled and was to delete at its end.
    const std::string mirror = layout_.Root() + "mirror" + Sep();
    settings_.localMirror = true;
    settings_.mirrorFolder = mirror;
    settings_.deleteDatabaseFiles = true;
    ProxyValue proxy;
    proxy.Set("localhost");
    // The user's browser folder, with a profile of their own named like the server and a list
    // they change after the killed run wrote down an old copy of it.
    const std::string profiles = layout_.Root() + "profiles" + Sep();
    CreateFolders(profiles + "abc.Trailhost");
    CreateFolders(profiles + "abc.default");
    WriteFile(profiles + "profiles.ini", "[Profile0]\nPath=abc.default\n");
    const std::string madeWhole = profiles + "Crash Reports";
    const std::string madeEmpty = layout_.Root() + "Downloads";
    const std::string keptDownloads = layout_.Root() + "Saved";

    std::uint32_t webServer = 0;
    std::uint32_t databaseServer = 0;
    std::string runtime;
    {
        StackState killed(layout_.Places({}, {}));
        AppSettings settings = settings_;
        ASSERT_EQ(StartSequence(killed, settings, shell_), StartResult::kDone);
        runtime = killed.runtimeFolder;
        webServer = killed.webServer->processId();
        databaseServer = killed.databaseServer->processId();
        ASSERT_TRUE(Eventually([&] { return ProcessRuns(databaseServer); }));
        EXPECT_EQ(Count(ReadFile(layout_.HostsPath()), kBlockStart), 1u);
        EXPECT_EQ(ReadFile(SiteFile() + ".bak"), original_);
        EXPECT_EQ(ReadFile(mirror + "site.frm"), "site data");

        Browser::CExternalBrowserStarter starter(settings, runtime);
        starter.AddHostToProxyOverride();
        if (proxy.Available()) {
            EXPECT_EQ(proxy.Get(), "localhost 127.0.0.2");
        }
        // The run's private profile and what the browser made beside it; and entries of an older
        // launcher, which named the profiles by a pattern and saved the list.
        const std::string own = runtime + "browser-profile";
        RecordInJournal(runtime, journal::kProfiles, {own});
        RecordInJournal(runtime, journal::kMadeFolder, {madeWhole, "whole"});
        RecordInJournal(runtime, journal::kMadeFolder, {madeEmpty, "empty"});
        RecordInJournal(runtime, journal::kMadeFolder, {keptDownloads, "empty"});
        RecordInJournal(runtime, journal::kProfiles, {profiles, ".Trailhost", "0"});
        RecordInJournal(runtime, journal::kProfileList,
                        {profiles + "profiles.ini", profiles + "profiles.ini.trh"});
        WriteFile(profiles + "profiles.ini.trh", "[Profile0]\nPath=old\n");
        CreateFolders(own);
        CreateFolders(madeWhole + Sep() + "events");
        CreateFolders(madeEmpty);
        CreateFolders(keptDownloads);
        WriteFile(keptDownloads + Sep() + "report.pdf", "the user's");
        WriteFile(profiles + "profiles.ini", "[Profile0]\nPath=abc.default\n; changed\n");
        // The user adds a line of their own meanwhile.
        WriteFile(layout_.HostsPath(), ReadFile(layout_.HostsPath()) + "10.1.1.1 later\n");
        // Killed here: no stop sequence, no restore; the servers run on.
    }

    RecoverAbandonedRuns(layout_.Places({}, {}));

    EXPECT_TRUE(Eventually([&] { return !ProcessRuns(webServer); }));
    EXPECT_TRUE(Eventually([&] { return !ProcessRuns(databaseServer); }));
    EXPECT_EQ(ReadFile(layout_.HostsPath()), hosts_ + "10.1.1.1 later\n");
    EXPECT_EQ(ReadFile(SiteFile()), original_);
    EXPECT_FALSE(PathExists(SiteFile() + ".bak"));
    EXPECT_FALSE(PathExists(runtime));
    if (proxy.Available()) {
        EXPECT_EQ(proxy.Get(), "localhost");
    }
    // Only what the run made goes; the user's list and profiles stay as they are now.
    EXPECT_EQ(ReadFile(profiles + "profiles.ini"), "[Profile0]\nPath=abc.default\n; changed\n");
    EXPECT_TRUE(PathExists(profiles + "abc.Trailhost"));
    EXPECT_TRUE(PathExists(profiles + "abc.default"));
    EXPECT_FALSE(PathExists(madeWhole));
    EXPECT_FALSE(PathExists(madeEmpty));
    EXPECT_EQ(ReadFile(keptDownloads + Sep() + "report.pdf"), "the user's");
    EXPECT_FALSE(PathExists(mirror));

    // The next run behaves as after a clean end: one hosts block, its own expansion, and a clean
    // stop that leaves nothing for another recovery.
    WriteFile(layout_.HostsPath(), hosts_);
    StackState next(layout_.Places({}, {}));
    next.MarkRunnerStarted();
    AppSettings settings = settings_;
    ASSERT_EQ(StartSequence(next, settings, shell_), StartResult::kDone);
    EXPECT_EQ(Count(ReadFile(layout_.HostsPath()), kBlockStart), 1u);
    EXPECT_EQ(ReadFile(SiteFile() + ".bak"), original_);
    StopSequence(next, settings, shell_, false);
    EXPECT_EQ(ReadFile(layout_.HostsPath()), hosts_);
    EXPECT_EQ(ReadFile(SiteFile()), original_);
    EXPECT_FALSE(PathExists(next.runtimeFolder));
}

TEST_F(RunRecovery, ARunThatEndedCleanlyLeavesNothingToUndo) {
    settings_.deleteHttpTemp = false;
    StackState run(layout_.Places({}, {}));
    run.MarkRunnerStarted();
    AppSettings settings = settings_;
    ASSERT_EQ(StartSequence(run, settings, shell_), StartResult::kDone);
    StopSequence(run, settings, shell_, false);
    ASSERT_TRUE(PathExists(run.runtimeFolder));
    EXPECT_FALSE(PathExists(JournalPath(run.runtimeFolder)));

    // The kept runtime folder is the site's: it stays, and so does a file expanded since.
    WriteFile(SiteFile() + ".bak", "the site's own backup");
    RecoverAbandonedRuns(layout_.Places({}, {}));
    EXPECT_TRUE(PathExists(run.runtimeFolder + "httpd.conf"));
    EXPECT_EQ(ReadFile(SiteFile() + ".bak"), "the site's own backup");
}

// A stop that cannot put everything back keeps the journal of what is left, and the runtime folder
// that holds it; the next start finishes the job.
TEST_F(RunRecovery, WhatAStopCouldNotPutBackIsFinishedByTheNextStart) {
    WriteFile(layout_.Root() + "probe", "x");
    if (!testsupport::LockedFile(layout_.Root() + "probe").ok()) {
        GTEST_SKIP() << "files cannot be locked here";
    }
    StackState run(QuickPlaces(), testsupport::NoStopPause());
    run.MarkRunnerStarted();
    AppSettings settings = settings_;
    ASSERT_EQ(StartSequence(run, settings, shell_), StartResult::kDone);
    const std::string runtime = run.runtimeFolder;
    const std::uint32_t webServer = run.webServer->processId();
    ASSERT_NE(ReadFile(layout_.HostsPath()), hosts_);
    TraceCapture trace;
    {
        testsupport::LockedFile hosts(layout_.HostsPath());
        testsupport::LockedFile site(SiteFile());
        ASSERT_TRUE(hosts.ok() && site.ok());
        StopSequence(run, settings, shell_, false);
    }
    EXPECT_TRUE(Eventually([&] { return !ProcessRuns(webServer); }));
    std::vector<std::string> kinds;
    for (const JournalEntry& entry : ReadJournal(runtime)) {
        kinds.push_back(entry.kind);
    }
    EXPECT_EQ(kinds, (std::vector<std::string>{journal::kRun, journal::kFile, journal::kHosts}));
    EXPECT_EQ(trace.Count("Hosts entry for 127.0.0.2 not removed from " + layout_.HostsPath()), 1u);
    EXPECT_EQ(trace.Count("Additional file not restored, " + SiteFile() + ".bak kept"), 1u);

    RecoverAbandonedRuns(QuickPlaces());
    EXPECT_EQ(ReadFile(layout_.HostsPath()), hosts_);
    EXPECT_EQ(ReadFile(SiteFile()), original_);
    EXPECT_FALSE(PathExists(SiteFile() + ".bak"));
    EXPECT_FALSE(PathExists(runtime));
}

// A ".bak" that was there before belongs to the site's author: a run, and a killed run with the
// next start's recovery, leave it and the site file as they were.
TEST_F(RunRecovery, TheAuthorsBackupSurvivesARunAndAKilledRun) {
    WriteFile(SiteFile() + ".bak", "the author's backup");
    for (const bool killed : {false, true}) {
        StackState run(QuickPlaces(), testsupport::NoStopPause());
        run.MarkRunnerStarted();
        AppSettings settings = settings_;
        ASSERT_EQ(StartSequence(run, settings, shell_), StartResult::kDone);
        EXPECT_NE(ReadFile(SiteFile()), original_);
        EXPECT_EQ(ReadFile(SiteFile() + ".trh-bak"), original_);
        if (killed) {
            RecoverAbandonedRuns(QuickPlaces());
        } else {
            StopSequence(run, settings, shell_, true);
        }
        EXPECT_EQ(ReadFile(SiteFile()), original_) << (killed ? "killed" : "stopped");
        EXPECT_EQ(ReadFile(SiteFile() + ".bak"), "the author's backup");
        EXPECT_FALSE(PathExists(SiteFile() + ".trh-bak"));
        EXPECT_FALSE(PathExists(run.runtimeFolder));
    }
}

}  // namespace
