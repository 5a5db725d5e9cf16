// Linux only: whole runs against faults made with mounts of the test's own and the immutable
// attribute (which hold for root too), and runs on a machine with another user, who shares the
// temporary folder (sticky and open to all, as /tmp is) and may read any process's command line.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <random>
#include <thread>

#include "second_user.h"
#include "stack/archive_builder.h"
#include "stack/account_texts.h"
#include "stack/database_server.h"
#include "stack/db_staging.h"
#include "whole_run.h"

namespace fs = std::filesystem;
namespace testsupport {
namespace {

const char kNoBackup[] = "Additional file not expanded, no backup made: {SITE}";

// The database as the encrypted archive beside the stack, its one table holding `rows`.
void PackDatabase(WholeRun& run, const std::string& rows) {
    ASSERT_TRUE(testarchive::WriteArchive(run.layout.ExeFolder() + "dbdir.aes", ArchivePassPhrase(),
                                          testarchive::ZipBytes({{"dbdir/site.frm", rows}})));
}

// A full temporary folder: the run goes on with what exists, with the database from a mirror or
// from the encrypted archive, and the trace names what is missing. The site file would be
// rewritten on the medium and put back: not what is looked at here.
Scenario FullTemp(const std::string& name, bool archive) {
    Scenario row(name);
    row.With(Fault::kFullTemp)
        .Config({"database.LocalMirror=1", "AdditionalParsing.File1="})
        .Readiness(1500)
        .NoPage()
        .Host("127.0.0.1")
        .Untouched()
        .Traced(kConfigurationsNotWritten)
        .Traced({kHostsFallback, "Apache timeout"});
    if (!archive) {
        return row.Traced({"Database mirror incomplete: {RUNTIME}database/"});
    }
    return row.Traced({"Encrypted database not unpacked into " + UnpackFolderName("{RUNTIME}")})
        .Arrange([](WholeRun& run) { PackDatabase(run, std::string(256 * 1024, 's')); });
}

// A temporary folder that every user may write to, with the sticky bit, as /tmp.
std::string MakeSharedTemp(WholeRun& run) {
    const std::string folder = run.layout.Root() + "shared-tmp/";
    fs::create_directories(folder);
    chmod(folder.c_str(), 01777);
    return folder;
}

void SharedTemp(WholeRun& run, StackPlaces& places) {
    places.tempFolder = MakeSharedTemp(run);
}

// The other user has taken the runtime folder's name and a hundred more before the start: the run
// still gets a new folder of its own and writes nothing into theirs.
Scenario TakenRuntimeFolderNames() {
    auto taken = std::make_shared<std::vector<std::string>>();
    return Scenario("TakenRuntimeFolderNamesLeaveTheRunAFolderOfItsOwn")
        .At(SharedTemp)
        .Arrange([taken](WholeRun& run) {
            std::string why;
            const auto user = SecondUserOfThisMachine(why);
            if (!user) {
                GTEST_SKIP() << why;
            }
            const std::string base =
                MakeSharedTemp(run) + "Trailhost_" + std::to_string(Process::CurrentId());
            for (int n = 0; n <= 100; ++n) {
                taken->push_back(base + (n == 0 ? "" : "_" + std::to_string(n)));
            }
            for (const std::string& folder : *taken) {
                ASSERT_TRUE(MakeFolderAs(*user, folder, 0777)) << folder;
            }
        })
        .During([taken](WholeRun& run) {
            const std::string folder = run.runtime.substr(0, run.runtime.size() - 1);
            ASSERT_EQ(folder.rfind(taken->front() + "_", 0), 0u) << folder;
            EXPECT_EQ(std::find(taken->begin(), taken->end(), folder), taken->end());
            struct stat st {};
            ASSERT_EQ(lstat(folder.c_str(), &st), 0);
            EXPECT_TRUE(S_ISDIR(st.st_mode));
            EXPECT_EQ(st.st_uid, geteuid());
            EXPECT_EQ(st.st_mode & 0777, 0700u);
            EXPECT_TRUE(fs::exists(run.runtime + "httpd.conf"));
        })
        .After([taken](WholeRun&) {
            for (const std::string& folder : *taken) {
                EXPECT_TRUE(fs::is_empty(folder)) << folder;
            }
        });
}

// While the stack runs, the other user can open nothing the run keeps in its runtime folder: not
// the configuration files, the journal, the hosts file's copy or the decrypted database.
Scenario FilesClosedToTheOtherUser() {
    return Scenario("TheFilesOfARunningStackAreClosedToTheOtherUser")
        .At(SharedTemp)
        .Arrange([](WholeRun& run) { PackDatabase(run, "the site's rows"); })
        .During([](WholeRun& run) {
            std::string why;
            const auto user = SecondUserOfThisMachine(why);
            ASSERT_TRUE(user) << why;
            // The control: what the other user can open when nothing closes it.
            const std::string open = run.layout.Root() + "shared-tmp/open.txt";
            WriteFile(open, "anybody's");
            chmod(open.c_str(), 0644);
            ASSERT_TRUE(CanOpenAs(*user, open));
            fs::remove(open);
            std::vector<std::string> entries = {run.runtime};
            for (const fs::directory_entry& entry : fs::recursive_directory_iterator(run.runtime)) {
                entries.push_back(entry.path().string());
            }
            for (const char* file :
                 {"httpd.conf", "my.ini", "php.ini", "changes.journal", "hosts"}) {
                EXPECT_TRUE(fs::exists(run.runtime + file)) << file;
            }
            bool unpacked = false;
            for (const std::string& path : entries) {
                unpacked = unpacked || path.find("site.frm") != std::string::npos;
                EXPECT_FALSE(CanOpenAs(*user, path)) << path;
                struct stat st {};
                ASSERT_EQ(lstat(path.c_str(), &st), 0) << path;
                // What the launcher made is its user's alone; the servers' own files (their logs)
                // and the browser's lie behind the folders.
                if (S_ISDIR(st.st_mode)) {
                    EXPECT_EQ(st.st_mode & 0777, 0700u) << path;
                } else if (path.find("fake_") == std::string::npos &&
                           path.find("profile") == std::string::npos) {
                    EXPECT_EQ(st.st_mode & 0777, 0600u) << path;
                }
            }
            EXPECT_TRUE(unpacked);
        });
}

// The database password reaches no command line during a whole run, where any user could read
// it (ps, /proc/<id>/cmdline), however briefly the shutdown tool runs: it reaches the tool
// through its option file.
Scenario PasswordOnNoCommandLine() {
    struct Watch {
        std::string secret;
        std::atomic<bool> running{true};
        std::vector<std::string> seen;
        std::thread thread;
        void Stop() {
            running = false;
            if (thread.joinable()) {
                thread.join();
            }
        }
        ~Watch() { Stop(); }
    };
    auto watch = std::make_shared<Watch>();
    std::random_device entropy;
    const std::string password = "Pw-" + std::to_string(entropy()) + " \"q\"";
    watch->secret = password.substr(0, password.find(' '));
    return Scenario("ThePasswordIsOnNoCommandLineDuringAWholeRun")
        .Config({"http.DeleteHttpTemp=0"})
        .At([password](WholeRun&, StackPlaces& places) {
            places.databaseAccount = {Scramble("site", kBuiltInScrambleKey),
                                      Scramble(password, kBuiltInScrambleKey)};
        })
        .Arrange([watch](WholeRun&) {
            // Every process's command line, again and again until the run has ended.
            watch->thread = std::thread([watch] {
                while (watch->running) {
                    std::error_code error;
                    for (fs::directory_iterator it("/proc", error), end; !error && it != end;
                         it.increment(error)) {
                        // A process may end while it is looked at: whatever was read counts.
                        const std::string line = ReadFile((it->path() / "cmdline").string());
                        if (line.find(watch->secret) != std::string::npos) {
                            watch->seen.push_back(it->path().string() + ": " + line);
                        }
                    }
                }
            });
        })
        .After([watch](WholeRun& run) {
            watch->Stop();
            EXPECT_TRUE(watch->seen.empty()) << watch->seen.front();
            const std::vector<std::string> toolArgs =
                LogValues(ReadFile(run.runtime + "fake_dbadmin.log"), "arg=");
            ASSERT_FALSE(toolArgs.empty());
            for (const std::string log : {"fake_web.log", "fake_db.log", "fake_dbadmin.log"}) {
                for (const std::string& arg : LogValues(ReadFile(run.runtime + log), "arg=")) {
                    EXPECT_EQ(arg.find(watch->secret), std::string::npos) << log << ": " << arg;
                }
            }
            EXPECT_NE(ReadFile(run.runtime + "fake_dbadmin.defaults").find(watch->secret),
                      std::string::npos);
            EXPECT_FALSE(fs::exists(AdminOptionFileName(run.runtime)));
        });
}

const Scenario kLinuxRows[] = {
    FullTemp("AFullTemporaryFolderLeavesTheRunToWhatExists", false),
    FullTemp("AFullTemporaryFolderLeavesTheEncryptedDatabasePacked", true),
    HostsFallback("AHostsFileOnAFullDiskGetsNoPartOfTheEntry", Fault::kFullHostsDisk),
    Scenario("AFolderThatTakesNoNewFileKeepsTheFileAsItIs")
        .With(Fault::kFrozenSiteFolder)
        .Untouched()
        .Traced({kNoBackup}),
    // A full stick: the backup breaks off, and what it left must not come back over the file.
    Scenario("AFullMediumLosesNoFileForWantOfABackup")
        .With(Fault::kFullSiteDisk)
        .SiteKept()
        .Traced({kNoBackup}),
    TakenRuntimeFolderNames(),
    FilesClosedToTheOtherUser(),
    PasswordOnNoCommandLine(),
};

INSTANTIATE_TEST_SUITE_P(LinuxRows, WholeRuns, ::testing::ValuesIn(kLinuxRows), RowName);

}  // namespace
}  // namespace testsupport
