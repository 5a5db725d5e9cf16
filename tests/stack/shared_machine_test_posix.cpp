// Linux only: whole runs on a machine with another user, who shares the temporary folder (sticky
// and open to all, as /tmp is), may have made folders there first, and may look at any process's
// command line. The other user is made for the test (see second_user.h).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <random>
#include <thread>

#include "fault_run.h"
#include "second_user.h"

namespace fs = std::filesystem;
using testsupport::FaultRun;
using testsupport::LogValues;
using testsupport::ReadFile;
using testsupport::SecondUser;
using testsupport::WriteFile;

namespace {

class SharedMachine : public FaultRun {
protected:
    // A temporary folder that every user may write to, with the sticky bit, as /tmp.
    std::string SharedTemp() {
        const std::string temp = layout_.Root() + "shared-tmp/";
        fs::create_directories(temp);
        chmod(temp.c_str(), 01777);
        return temp;
    }

    StackState& SharedState(const std::string& temp) {
        StackPlaces places = layout_.Places({}, {});
        places.tempFolder = temp;
        return MakeState(places);
    }
};

// Runs with the other user at work on the machine.
class OtherUser : public SharedMachine {
protected:
    void SetUp() override {
        std::string why;
        user_ = testsupport::SecondUserOfThisMachine(why);
        if (!user_) {
            GTEST_SKIP() << why;
        }
    }

    std::optional<SecondUser> user_;
};

// The other user has taken the runtime folder's name and a hundred more before the start: the run
// still gets a new folder of its own and writes nothing into theirs.
TEST_F(OtherUser, TakenRuntimeFolderNamesLeaveTheRunAFolderOfItsOwn) {
    const std::string temp = SharedTemp();
    const std::string base = temp + "Trailhost_" + std::to_string(Process::CurrentId());
    std::vector<std::string> taken = {base};
    for (int n = 1; n <= 100; ++n) {
        taken.push_back(base + "_" + std::to_string(n));
    }
    for (const std::string& folder : taken) {
        ASSERT_TRUE(testsupport::MakeFolderAs(*user_, folder, 0777)) << folder;
    }
    AppSettings settings = RunSettings();
    StackState& state = SharedState(temp);

    ASSERT_EQ(Start(settings), StartResult::kDone);
    const std::string runtime = state.runtimeFolder;
    ASSERT_EQ(runtime.rfind(base + "_", 0), 0u) << runtime;
    EXPECT_EQ(std::find(taken.begin(), taken.end(), runtime.substr(0, runtime.size() - 1)),
              taken.end());
    struct stat st {};
    ASSERT_EQ(lstat(runtime.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_uid, geteuid());
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(fs::exists(runtime + "httpd.conf"));
    for (const std::string& folder : taken) {
        EXPECT_TRUE(fs::is_empty(folder)) << folder;
    }

    StopAndExpectNothingLeft(settings);
    for (const std::string& folder : taken) {
        EXPECT_TRUE(fs::is_empty(folder)) << folder;
    }
}

// While the stack runs, the other user can open nothing the run keeps in its runtime folder: not
// the configuration files, the journal, the hosts file's copy or the decrypted database.
TEST_F(OtherUser, TheFilesOfARunningStackAreClosedToTheOtherUser) {
    const std::string temp = SharedTemp();
    // The control: what the other user can open when nothing closes it.
    WriteFile(temp + "open.txt", "anybody's");
    chmod((temp + "open.txt").c_str(), 0644);
    ASSERT_TRUE(testsupport::CanOpenAs(*user_, temp + "open.txt"));
    ASSERT_TRUE(
        testarchive::WriteArchive(Stack() + "dbdir.aes", ArchivePassPhrase(),
                                  testarchive::ZipBytes({{"dbdir/site.frm", "the site's rows"}})));
    AppSettings settings = RunSettings();
    StackState& state = SharedState(temp);

    ASSERT_EQ(Start(settings), StartResult::kDone);
    const std::string runtime = state.runtimeFolder;
    std::vector<std::string> entries = {runtime};
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(runtime)) {
        entries.push_back(entry.path().string());
    }
    for (const char* launcherFile :
         {"httpd.conf", "my.ini", "php.ini", "changes.journal", "hosts"}) {
        EXPECT_NE(std::find(entries.begin(), entries.end(), runtime + launcherFile), entries.end())
            << launcherFile;
    }
    bool unpacked = false;
    for (const std::string& path : entries) {
        unpacked = unpacked || path.find("site.frm") != std::string::npos;
        EXPECT_FALSE(testsupport::CanOpenAs(*user_, path)) << path;
        struct stat st {};
        ASSERT_EQ(lstat(path.c_str(), &st), 0) << path;
        // What the launcher itself made is its user's alone; the servers' own files (their
        // logs) lie behind the folders.
        const bool servers = path.find("fake_") != std::string::npos;
        if (S_ISDIR(st.st_mode)) {
            EXPECT_EQ(st.st_mode & 0777, 0700u) << path;
        } else if (!servers) {
            EXPECT_EQ(st.st_mode & 0777, 0600u) << path;
        }
    }
    EXPECT_TRUE(unpacked);

    StopAndExpectNothingLeft(settings);
}

// The database password reaches no command line during a whole run, where any user of the machine
// could read it (ps, /proc/<id>/cmdline), however briefly the shutdown tool runs. It reaches the
// tool through its option file.
TEST_F(SharedMachine, ThePasswordIsOnNoCommandLineDuringAWholeRun) {
    std::random_device entropy;
    const std::string password = "Pw-" + std::to_string(entropy()) + " \"q\"";
    AppSettings settings = RunSettings();
    settings.deleteHttpTemp = false;
    StackPlaces places = layout_.Places({}, {});
    places.databaseAccount = {Scramble("site", kBuiltInScrambleKey),
                              Scramble(password, kBuiltInScrambleKey)};
    StackState& state = MakeState(places);

    // Every process's command line, looked at again and again until the run has ended.
    const std::string secret = password.substr(0, password.find(' '));
    std::atomic<bool> running{true};
    std::vector<std::string> seen;
    std::thread watcher([&] {
        while (running) {
            std::error_code error;
            for (fs::directory_iterator it("/proc", error), end; !error && it != end;
                 it.increment(error)) {
                // A process may end while it is looked at: whatever was read counts.
                const int fd = open((it->path() / "cmdline").c_str(), O_RDONLY | O_CLOEXEC);
                if (fd < 0) {
                    continue;
                }
                std::string line;
                char buffer[4096];
                for (ssize_t n; (n = read(fd, buffer, sizeof(buffer))) > 0;) {
                    line.append(buffer, static_cast<std::size_t>(n));
                }
                close(fd);
                if (line.find(secret) != std::string::npos) {
                    seen.push_back(it->path().string() + ": " + line);
                }
            }
        }
    });
    const StartResult started = Start(settings);
    const std::string runtime = state.runtimeFolder;
    StopAndExpectNothingLeft(settings);
    running = false;
    watcher.join();

    ASSERT_EQ(started, StartResult::kDone);
    EXPECT_TRUE(seen.empty()) << seen.front();
    // The stack's own programs say what they were given; the shutdown tool ran.
    const std::vector<std::string> toolArgs =
        LogValues(ReadFile(runtime + "fake_dbadmin.log"), "arg=");
    ASSERT_FALSE(toolArgs.empty());
    for (const std::string log : {"fake_web.log", "fake_db.log", "fake_dbadmin.log"}) {
        for (const std::string& arg : LogValues(ReadFile(runtime + log), "arg=")) {
            EXPECT_EQ(arg.find(secret), std::string::npos) << log << ": " << arg;
        }
    }
    EXPECT_NE(ReadFile(runtime + "fake_dbadmin.defaults").find(secret), std::string::npos);
    EXPECT_FALSE(fs::exists(AdminOptionFileName(runtime)));
}

}  // namespace
