// Whole runs as rows: what the stack is given, what is in its way, what the user does, and what
// must hold; the runner (whole_run.h) ends every row with the check that the machine is as it was.
#include <gtest/gtest.h>

#include "app/run_recovery.h"
#include "browser/starters.h"
#include "stack/account_texts.h"
#include "stack/db_staging.h"
#include "stack/run_journal.h"
#include "sys/files.h"
#include "sys/launcher.h"
#include "whole_run.h"

namespace testsupport {
namespace {

const char kNotExpanded[] = "Additional file not expanded, it cannot be written: {SITE}";
// A mirror of the database beside the stack, deleted at the end.
const std::vector<std::string> kMirror = {"database.LocalMirror=1",
                                          "database.MirrorFolder={ROOT}mirror/",
                                          "database.DeleteDatabaseFiles=1"};

// A stack on a medium that takes no write: it runs, and nothing of it is written, not even to be
// put back.
Scenario ReadOnlyMedium(std::string name) {
    return Scenario(std::move(name))
        .With(Fault::kReadOnlyMedium)
        .Untouched()
        .Traced({kNotExpanded});
}

// The run keeps the site file's original under a name of its own.
void OriginalKeptApart(WholeRun& run) {
    EXPECT_EQ(ReadFile(run.Site() + ".trh-bak"), WholeRun::kSiteText);
}

// The database's files, where the fake web server was told to find them.
std::string DatabasePath(WholeRun& run) {
    return LoggedVariable(ReadFile(run.runtime + "fake_web.log"), "TRH_DB_PATH");
}

// The site's own answer at a port taken by another program, a mirror beside a folder whose name
// begins like it, commands at the start and the stop, and the stops in their order.
Scenario WholeRunOnTheTablesPort() {
    return Scenario("WholeRunOnTheTablesPort")
        .With(Fault::kWebPortTaken)
        .Web("FakeAnswer404 2\n")
        .Config({"database.LocalMirror=1", "database.MirrorFolder={ROOT}mirrordb",
                 "database.DeleteDatabaseFiles=1",
                 "Startup.Startup1=" + StackLayout::MarkerCommand("{ROOT}startup.ran"),
                 "Startup.Shutdown1=" + StackLayout::MarkerCommand("{ROOT}shutdown.ran")})
        .Arrange([](WholeRun& run) {
            // A sibling folder whose name is the mirror's cut short: it is not the mirror.
            WriteFile(run.Expand("{ROOT}mirrord") + kSep + "keep.txt", "not the mirror");
        })
        .During([](WholeRun& run) {
            EXPECT_EQ(DatabasePath(run), run.Expand("{ROOT}mirrordb") + kSep);
            // Two answers of 404, the ready one, and the browser's.
            EXPECT_EQ(LogValues(ReadFile(run.runtime + "fake_web.log"), "request ").size(), 4u);
            EXPECT_NE(run.webPort, run.settings.port);
            // The browser's private profile lives in the run's own folder.
            EXPECT_NE(run.BrowserLog().find("--user-data-dir=" + run.runtime), std::string::npos);
            EXPECT_TRUE(Eventually([&] { return PathExists(run.Expand("{ROOT}startup.ran")); }));
        })
        // The web server goes first, then the database server, and the shutdown command last.
        // (The shell's calls below show that each of these positions came.)
        .AtStop([](WholeRun& run, int position) {
            if (position == 10) {
                EXPECT_TRUE(ProcessRuns(run.web));
            } else if (position == 20) {
                EXPECT_TRUE(Eventually([&] { return !ProcessRuns(run.web); }));
                EXPECT_TRUE(ProcessRuns(run.database) && run.DatabaseAnswers());
            } else if (position == 30) {
                EXPECT_FALSE(ProcessRuns(run.database));
                EXPECT_FALSE(PathExists(run.Expand("{ROOT}shutdown.ran")));
                EXPECT_EQ(LogValues(ReadFile(run.runtime + "fake_db.log"), "shutdown").size(), 1u);
                EXPECT_EQ(LogValues(ReadFile(run.runtime + "fake_dbadmin.log"), "arg=").back(),
                          "shutdown");
            }
        })
        .After([](WholeRun& run) {
            EXPECT_TRUE(Eventually([&] { return PathExists(run.Expand("{ROOT}shutdown.ran")); }));
            std::vector<std::string> expected = {"progress 5",  "progress 10",  "progress 60",
                                                 "progress 70", "progress 70",  "progress 80",
                                                 "progress 95", "close splash", "dialog Stopping"};
            for (int position = 0; position <= 100; position += 10) {
                expected.push_back("position " + std::to_string(position));
            }
            expected.push_back("close frame");
            EXPECT_EQ(run.shell.Calls(), expected);
            std::filesystem::remove(run.Expand("{ROOT}startup.ran"));
            std::filesystem::remove(run.Expand("{ROOT}shutdown.ran"));
        });
}

// A killed run that had changed the browser's settings too: the user's proxy exceptions, a
// private profile and folders it made, and entries of an older launcher that named profiles by a
// pattern and saved the profile list. The next start puts back what the run made, and only that.
Scenario KilledRunWithBrowserChanges() {
    return Scenario("AKilledRunIsUndoneByTheNextStart")
        .Does(User::kKillLauncher)
        .Config(kMirror)
        .Arrange([](WholeRun& run) {
            const std::string profiles = run.Expand("{ROOT}profiles") + kSep;
            CreateFolders(profiles + "abc.Trailhost");
            CreateFolders(profiles + "abc.default");
            WriteFile(profiles + "profiles.ini", "[Profile0]\nPath=abc.default\n");
            CreateFolders(run.Expand("{ROOT}Saved"));
        })
        .During([](WholeRun& run) {
            const std::string profiles = run.Expand("{ROOT}profiles") + kSep;
            EXPECT_EQ(ReadFile(run.Expand("{ROOT}mirror/site.frm")), "site data");
            EXPECT_EQ(ReadFile(run.Site() + ".bak"), WholeRun::kSiteText);
            Browser::CExternalBrowserStarter starter(run.settings, run.runtime);
            starter.AddHostToProxyOverride();
            const std::string own = run.runtime + "browser-profile";
            const std::string madeWhole = profiles + "Crash Reports";
            const std::string madeEmpty = run.Expand("{ROOT}Downloads");
            const std::string kept = run.Expand("{ROOT}Saved");
            RecordInJournal(run.runtime, journal::kProfiles, {own});
            RecordInJournal(run.runtime, journal::kMadeFolder, {madeWhole, "whole"});
            RecordInJournal(run.runtime, journal::kMadeFolder, {madeEmpty, "empty"});
            RecordInJournal(run.runtime, journal::kMadeFolder, {kept, "empty"});
            RecordInJournal(run.runtime, journal::kProfiles, {profiles, ".Trailhost", "0"});
            RecordInJournal(run.runtime, journal::kProfileList,
                            {profiles + "profiles.ini", profiles + "profiles.ini.trh"});
            WriteFile(profiles + "profiles.ini.trh", "[Profile0]\nPath=old\n");
            CreateFolders(own);
            CreateFolders(madeWhole + kSep + "events");
            CreateFolders(madeEmpty);
            WriteFile(kept + kSep + "report.pdf", "the user's");
            // The user changes the list, and adds a hosts line, after the run wrote them down.
            WriteFile(profiles + "profiles.ini", "[Profile0]\nPath=abc.default\n; changed\n");
            run.userHosts = "10.1.1.1 later\n";
            WriteFile(run.layout.HostsPath(), ReadFile(run.layout.HostsPath()) + run.userHosts);
        })
        .After([](WholeRun& run) {
            // The user's list, profiles and files stay as they are now.
            const std::string profiles = run.Expand("{ROOT}profiles") + kSep;
            EXPECT_EQ(ReadFile(profiles + "profiles.ini"),
                      "[Profile0]\nPath=abc.default\n; changed\n");
            EXPECT_EQ(ReadFile(run.Expand("{ROOT}Saved") + kSep + "report.pdf"), "the user's");
            std::filesystem::remove(run.Expand("{ROOT}Saved") + kSep + "report.pdf");
            std::filesystem::remove(profiles + "profiles.ini.trh");
        });
}

const Scenario kRows[] = {
    WholeRunOnTheTablesPort(),
    Scenario("ARefusedStartUndoesWhatItMadeAndEndsTheProgram")
        .With(Fault::kWebPortTaken)
        .Config({"http.PortMandantory=1"})
        .Boxes({"Port is already in use. Trailhost can't be started"})
        .NoPage()
        .After([](WholeRun& run) {
            EXPECT_EQ(run.handover.opened, 0);
            EXPECT_EQ(run.shell.Calls("close splash").size(), 1u);
        }),
    Scenario("KeepRunningLeavesTheStackUpUntilCloseInTheTray")
        .Config({"General.KeepRunningAfterBrowserClose=1"})
        .Does(User::kCloseInTray)
        .After([](WholeRun& run) { EXPECT_TRUE(run.shell.Calls("running until close").empty()); }),
    Scenario("ABrowserThatCannotBeFollowedLeavesTheStackUpUntilClose")
        .NotFollowed()
        .After([](WholeRun& run) { EXPECT_EQ(run.shell.Calls("running until close").size(), 1u); }),
    Scenario("AKilledBrowserEndsTheRunLikeAClosedOne")
        .Does(User::kKillBrowser)
        .After([](WholeRun& run) { EXPECT_TRUE(LogValues(run.BrowserLog(), "exit").empty()); }),
    Scenario("ABrowserThatCrashesAtOnceEndsTheRunLikeAClosedOne")
        .Arrange([](WholeRun&) { SetProcessVariable("FAKE_BROWSER_EXIT_CODE", "3"); })
        .NoPage()
        .After([](WholeRun& run) {
            EXPECT_EQ(LogValues(run.BrowserLog(), "exit-code "), std::vector<std::string>{"3"});
        }),
    // With ten minutes for the database server's end, the stop must not wait for a dead one.
    Scenario("ADatabaseServerThatDiesWhileTheSiteIsOpenDoesNotHoldUpTheStop")
        .DbStopWait(10 * 60 * 1000)
        .Config(kMirror)
        .During([](WholeRun& run) {
            ProcessLauncher::TerminateTree(run.database);
            ASSERT_TRUE(
                Eventually([&] { return !ProcessRuns(run.database) && !run.DatabaseAnswers(); }));
        })
        .AtStop([](WholeRun& run, int position) {
            if (position == 30) {
                EXPECT_FALSE(PathExists(run.runtime + "fake_dbadmin.log"));
            }
        }),
    // The wait for its answer ends with it, not at the time-out; no browser opens on the dead
    // site, and the stop takes down everything else.
    Scenario("AWebServerThatEndsAtStartEndsTheRunWithABox")
        .Web("ErrorLog \"%RMHUB:RTDIR%web_error.log\"\nFakeNeverListen 1\nFakeExitAfterMs 1\n"
             "FakeExitCode 3\n")
        .Readiness(600000)
        .Boxes({"The web server ({WEB}) ended with exit status 3 while the site was starting."
                "[...]fake_web: this configuration cannot be used"})
        .NoPage()
        .Traced({"Apache ended before it answered"})
        .AtStop([](WholeRun& run, int position) {
            if (position == 0) {
                // The rest of the start was done.
                EXPECT_NE(run.hostsDuring.find("\t127.0.0.2\n"), std::string::npos);
                EXPECT_EQ(run.siteDuring.rfind("port=", 0), 0u);
            } else if (position == 30) {
                EXPECT_EQ(LogValues(ReadFile(run.runtime + "fake_db.log"), "shutdown").size(), 1u);
            }
        })
        .After([](WholeRun& run) { EXPECT_EQ(run.handover.opened, 0); }),
    Scenario("ADatabaseServerThatEndsAtStartIsToldOfAndTheRunGoesOn")
        .Web("FakeAnswer404 10\n")
        .Db("log-error=%RMHUB:RTDIR%db_error.log\nfake-exit-at-start=5\n")
        .Boxes({"The database server ({DB}) ended with exit status 5 while the site was starting."
                "[...]fake_db: these data files cannot be used"}),
    // A browser of the author's own, started from its path, with the stack kept up after it (the
    // tray's Close is then the only stop): the site's host is a proxy exception while it runs,
    // and the exceptions come back at the end.
    Scenario("AnAuthorsOwnBrowserOpensTheSite")
        .Config({"Browser.BrowserType=external", "General.KeepRunningAfterBrowserClose=1"})
        .Does(User::kCloseInTray)
        .During([](WholeRun&) {
            EXPECT_NE(ProxyExceptions().find("127.0.0.2"), std::string::npos) << ProxyExceptions();
        }),
    // A site without a database server: the readiness wait watches only the web server, also
    // while it waits for the next try after a first answer that says "not yet".
    Scenario("ASiteWithoutDatabaseServerOpens")
        .Config({"database.UseMySQL=0"})
        .Web("FakeAnswer404 1\n"),
    // Without a browser nothing waits for the site: not even a server that never answers.
    Scenario("NoBrowserMeansNoReadinessWait")
        .Config({"Browser.BrowserType=none"})
        .Web("FakeNeverListen 1\n")
        .Readiness(600000)
        .NoPage()
        .After([](WholeRun& run) { EXPECT_EQ(run.handover.opened, 1); }),
    // A web server silent past the time-out does not end the run: the browser is opened on the
    // site all the same. Only the trace tells a time-out from an answer.
    Scenario("ASilentWebServerIsGivenUpOnAtTheTimeOut")
        .Web("FakeNeverListen 1\n")
        .Readiness(700)
        .NoPage()
        .Traced({"Timeout set to 700", "Apache timeout"})
        .After([](WholeRun& run) { EXPECT_EQ(run.handover.opened, 1); }),
    // DeleteDatabaseFiles deletes only a mirror that the run filled: never the user's folder of
    // that name when no mirror was made, nor the folder that holds the stack.
    Scenario("NoMirrorMadeLeavesTheUsersFolderOfThatName")
        .Config({"database.MirrorFolder={ROOT}mirror", "database.DeleteDatabaseFiles=1"})
        .Arrange(
            [](WholeRun& run) { WriteFile(run.Expand("{ROOT}mirror/user.txt"), "the user's"); }),
    // A mirror that cannot be made (a file holds the name of its folder) is named in the trace.
    Scenario("AMirrorThatCannotBeMadeIsNamedInTheTrace")
        .Config({"database.LocalMirror=1", "database.MirrorFolder={ROOT}taken/mirror/"})
        .Arrange([](WholeRun& run) { WriteFile(run.Expand("{ROOT}taken"), "a file"); })
        .Traced({"Database mirror not created: {ROOT}taken"}),
    Scenario("AMirrorInTheStacksOwnFolderIsNotDeleted")
        .Config({"http.DeleteHttpTemp=0", "database.LocalMirror=1",
                 "database.OverwriteLocalMirror=1", "database.MirrorFolder={ROOT}",
                 "database.DeleteDatabaseFiles=1"})
        .After([](WholeRun& run) {
            // What the mirror copied there goes with the test's folder.
            EXPECT_EQ(ReadFile(run.Expand("{ROOT}site.frm")), "site data");
            std::filesystem::remove(run.Expand("{ROOT}site.frm"));
            std::filesystem::remove_all(run.Expand("{ROOT}mysql"));
        }),
    ReadOnlyMedium("AReadOnlyMediumRunsAndIsLeftAsItWas")
        .Config({"database.DeleteDatabaseFiles=1"})
        .During([](WholeRun& run) {
            EXPECT_EQ(DatabasePath(run), run.layout.ExeFolder() + "dbdir" + kSep);
        }),
    ReadOnlyMedium("AReadOnlyMediumRunsWithAMirrorOfItsDatabase")
        .Config(kMirror)
        .During([](WholeRun& run) {
            EXPECT_EQ(DatabasePath(run), run.Expand("{ROOT}mirror/"));
            EXPECT_EQ(ReadFile(run.Expand("{ROOT}mirror/site.frm")), "site data");
            EXPECT_EQ(ReadFile(run.Expand("{ROOT}mirror/") + Native("mysql/user.frm")),
                      "system tables");
        }),
    Scenario("AnUnwritableTemporaryFolderRefusesTheStart")
        .With(Fault::kUnwritableTemp)
        .Boxes({"Trailhost can't be started: no private folder could be made in {TEMP}"})
        .NoPage()
        .Untouched()
        .After([](WholeRun& run) {
            EXPECT_EQ(run.state->runtimeFolder, "");
            EXPECT_EQ(run.state->webServer, nullptr);
        }),
    HostsFallback("ALockedHostsFileLeavesTheSiteOnTheLoopBackAddress", Fault::kLockedHosts),
    HostsFallback("AFolderInPlaceOfTheHostsFileIsLeftAlone", Fault::kFolderForHosts),
    // Without the hosts file's folder, and with the runtime folder and the default mirror kept.
    Scenario("AMissingHostsFileAndKeptFolders")
        .With(Fault::kMissingHosts)
        .Config({"http.DeleteHttpTemp=0", "database.LocalMirror=1"})
        .Host("127.0.0.1")
        .During(
            [](WholeRun& run) { EXPECT_EQ(DatabasePath(run), run.runtime + "database" + kSep); })
        .After([](WholeRun& run) {
            EXPECT_TRUE(PathExists(run.runtime + "httpd.conf"));
            EXPECT_EQ(ReadFile(run.runtime + Native("database/site.frm")), "site data");
        }),
    Scenario("FoldersInPlaceOfTemplatesAreReportedAndLeftAlone")
        .With(Fault::kFolderForTemplates)
        .Readiness(1500)
        .NoPage()
        .Untouched()
        .Traced(kConfigurationsNotWritten)
        .Traced({kNotExpanded, "Apache timeout"})
        .During([](WholeRun& run) {
            for (const std::string name : {"httpd.conf", "my.ini", "php.ini"}) {
                EXPECT_FALSE(PathExists(run.runtime + name)) << name;
            }
        }),
    // The author's folder or file of that name stays as it is.
    Scenario("AFolderInPlaceOfTheBackupIsLeftAlone")
        .With(Fault::kFolderForBackup)
        .During(OriginalKeptApart),
    Scenario("TheAuthorsBackupSurvivesARun").With(Fault::kAuthorsBackup).During(OriginalKeptApart),
    Scenario("TheAuthorsBackupSurvivesAKilledRun")
        .With(Fault::kAuthorsBackup)
        .Does(User::kKillLauncher)
        .During(OriginalKeptApart),
    KilledRunWithBrowserChanges(),
    // What the stop could not put back stays in the journal, with the runtime folder that holds
    // it; the next start finishes the job.
    Scenario("WhatAStopCouldNotPutBackIsFinishedByTheNextStart")
        .With(Fault::kLockedAtStop)
        .Traced({"Hosts entry for 127.0.0.2 not removed from ",
                 "Additional file not restored, {SITE}.bak kept"})
        .Between([](WholeRun& run) {
            const auto kinds = [&run] {
                std::vector<std::string> found;
                for (const JournalEntry& entry : ReadJournal(run.runtime)) {
                    found.push_back(entry.kind);
                }
                return found;
            };
            EXPECT_EQ(kinds(),
                      (std::vector<std::string>{journal::kRun, journal::kFile, journal::kHosts}));
            // A start while the hosts file is still held undoes the rest and keeps that.
            {
                const LockedFile held(run.layout.HostsPath());
                RecoverAbandonedRuns(run.state->places);
            }
            EXPECT_EQ(kinds(), (std::vector<std::string>{journal::kRun, journal::kHosts}));
        }),
    // A run that ended cleanly leaves no journal; its kept folder, and a file expanded since,
    // are the site's, and the next start's recovery leaves them.
    Scenario("ARunThatEndedCleanlyLeavesNothingToUndo")
        .Config({"http.DeleteHttpTemp=0"})
        .After([](WholeRun& run) {
            EXPECT_FALSE(PathExists(JournalPath(run.runtime)));
            WriteFile(run.Site() + ".bak", "the site's own backup");
            RecoverAbandonedRuns(run.state->places);
            EXPECT_TRUE(PathExists(run.runtime + "httpd.conf"));
            EXPECT_EQ(ReadFile(run.Site() + ".bak"), "the site's own backup");
            std::filesystem::remove(run.Site() + ".bak");
        }),
};

TEST_P(WholeRuns, LeaveTheMachineAsItWas) {
    WholeRun(GetParam()).Run();
}

INSTANTIATE_TEST_SUITE_P(Rows, WholeRuns, ::testing::ValuesIn(kRows), RowName);

}  // namespace
}  // namespace testsupport
