#include "stack/run_journal.h"

#include <gtest/gtest.h>

#include <cctype>

#include "stack/run_recovery.h"
#include "stack_layout.h"
#include "sys/files.h"
#include "sys/launcher.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace testsupport;

namespace {

TEST(RunJournal, GivesBackEveryFieldWithoutALineCutShort) {
    TempDir dir;
    EXPECT_TRUE(ReadJournal(dir.path()).empty());
    const std::vector<std::string> fields = {"C:\\Stack\\", "tab\there", "two\r\nlines", "",
                                             "trailing\\"};
    ASSERT_TRUE(RecordInJournal(dir.path(), journal::kRun, {"12"}));
    ASSERT_TRUE(RecordInJournal(dir.path(), journal::kFile, fields));
    // The run was killed while it wrote its next entry.
    WriteFile(JournalPath(dir.path()), ReadFile(JournalPath(dir.path())) + "server\t77");
    const std::vector<JournalEntry> entries = ReadJournal(dir.path());
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].kind, journal::kRun);
    EXPECT_EQ(entries[1].kind, journal::kFile);
    EXPECT_EQ(entries[1].fields, fields);
    // Damaged lines are not read as something else.
    JournalEntry entry;
    for (const char* damaged : {"file\tend\\", "file\tbad\\x", "\tno kind"}) {
        EXPECT_FALSE(ParseJournalLine(damaged, entry)) << damaged;
    }
    CloseJournal(dir.path());
    EXPECT_FALSE(PathExists(JournalPath(dir.path())));
    EXPECT_FALSE(RecordInJournal(dir / "missing", journal::kFile, {"x"}));
}

// Runs of a stack whose journals lie in the layout's temporary folder.
class AbandonedRuns : public ::testing::Test {
protected:
    void TearDown() override {
        for (const Process& process : started_) {
            process.TerminateTree();
        }
    }

    // A runtime folder with a journal whose first entry names launcher `id` running `program`,
    // started at `start` (none: a journal of an older run, which wrote no start time).
    std::string Folder(const std::string& name, std::uint32_t id, const std::string& program,
                       const std::string& stack, const std::string& start = "") {
        const std::string folder = layout_.TempFolder() + name + kSep;
        CreateFolders(folder);
        std::vector<std::string> fields{std::to_string(id), program, stack};
        if (!start.empty()) {
            fields.push_back(start);
        }
        RecordInJournal(folder, journal::kRun, fields);
        return folder;
    }

    // A process that runs until it is ended.
    Process Idle() {
        ProcessLauncher launcher;
        const std::string ready = layout_.Root() + "ready" + std::to_string(started_.size());
        EXPECT_TRUE(launcher.Launch("\"" + HelperPath("idle_process") + "\" \"" + ready + "\" 0",
                                    "", LaunchWait::None, false, WindowSearch::Direct));
        started_.push_back(launcher.process());
        EXPECT_TRUE(Eventually([&] { return PathExists(ready); }));
        return launcher.process();
    }

    StackLayout layout_;
    std::vector<Process> started_;
};

TEST_F(AbandonedRuns, AreRunsOfThisStackWhoseLauncherIsGone) {
    const std::string stack = layout_.ExeFolder();
    const Process live = Idle();
    const std::string liveProgram = live.ProgramPath();
    const std::string liveStart = std::to_string(live.startTime());
    const std::string laterStart = std::to_string(live.startTime() + 1);
    const std::string earlierStart = std::to_string(live.startTime() - 1);
    ASSERT_FALSE(liveProgram.empty());
    const std::uint32_t id = live.id();

    // This process's id: the folder is older than this process.
    const std::string own = Folder("Trailhost_1", Process::CurrentId(), "whatever", stack);
    // The launcher still runs, by id and start time, whatever path was written: in use.
    Folder("Trailhost_2", id, liveProgram, stack, liveStart);
    Folder("Trailhost_2_1", id, liveProgram + "-moved", stack, liveStart);
    // The id now belongs to a process started at another time: the launcher is gone.
    const std::string reused = Folder("Trailhost_3", id, liveProgram, stack, laterStart);
    const std::string reusedEarlier = Folder("Trailhost_3_1", id, liveProgram, stack, earlierStart);
    // Journals of older runs, without a start time: the program decides.
    Folder("Trailhost_4", id, liveProgram, stack);
    const std::string reusedOld = Folder("Trailhost_4_1", id, liveProgram + "-other", stack);
    // Another stack's run, a folder without a journal, and folders of other names.
    Folder("Trailhost_5", Process::CurrentId(), "whatever", layout_.Root() + "other" + kSep);
    CreateFolders(layout_.TempFolder() + "Trailhost_6");
    Folder("Trailhost_6x", Process::CurrentId(), "whatever", stack);
    Folder("Other_7", Process::CurrentId(), "whatever", stack);
    // The name a run takes when its own is taken counts too.
    const std::string moved = Folder("Trailhost_7_1", Process::CurrentId(), "whatever", stack);
#ifndef _WIN32
    // Somebody else could have written this journal: its entries could name any file of ours.
    Folder("Trailhost_8", Process::CurrentId(), "whatever", stack);
    chmod((layout_.TempFolder() + "Trailhost_8").c_str(), 0777);
#endif

    // The stack's folder, or an older run's program, in other letters: the same on Windows alone.
    const auto upper = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(), ::toupper);
        return text;
    };
    [[maybe_unused]] const std::string shouted =
        Folder("Trailhost_9", Process::CurrentId(), "whatever", upper(stack));
    [[maybe_unused]] const std::string shoutedProgram =
        Folder("Trailhost_9_1", id, upper(liveProgram), stack);

    std::vector<std::string> expected = {own, reused, reusedEarlier, reusedOld, moved};
#ifdef _WIN32
    expected.push_back(shouted);
#else
    expected.push_back(shoutedProgram);
#endif
    std::vector<std::string> found;
    for (const AbandonedRun& run : FindAbandonedRuns(layout_.TempFolder(), stack)) {
        found.push_back(run.runtimeFolder);
    }
    EXPECT_EQ(found, expected);
}

TEST_F(AbandonedRuns, UndoEndsOnlyServersThatAreStillTheProcessWrittenDown) {
    const Process server = Idle();
    const Process oldServer = Idle();
    const Process stranger = Idle();
    const Process oldStranger = Idle();
    const std::string program = server.ProgramPath();
    const std::string file = layout_.ExeFolder() + "site.conf";
    WriteFile(file + ".bak", "original %RMHUB:PORT%");
    WriteFile(file, "expanded 8080");

    AbandonedRun run;
    run.runtimeFolder = layout_.TempFolder() + "Trailhost_1" + kSep;
    run.entries = {
        {journal::kRun, {std::to_string(Process::CurrentId()), "x", layout_.ExeFolder()}},
        {journal::kFile, {file}},
        {journal::kServer,
         {std::to_string(server.id()), "any", std::to_string(server.startTime())}},
        {journal::kServer, {std::to_string(oldServer.id()), program}},
        {journal::kServer,
         {std::to_string(stranger.id()), program, std::to_string(stranger.startTime() + 1)}},
        {journal::kServer, {std::to_string(oldStranger.id()), program + "-not-this"}}};
    UndoStackChanges(run);

    EXPECT_TRUE(server.WaitForExit(60000));
    EXPECT_TRUE(oldServer.WaitForExit(60000));
    EXPECT_TRUE(stranger.IsRunning());
    EXPECT_TRUE(oldStranger.IsRunning());
    EXPECT_EQ(ReadFile(file), "original %RMHUB:PORT%");
    EXPECT_FALSE(PathExists(file + ".bak"));
}

// Every form in which a runtime folder's name can be taken. The run gets a new folder of its own
// and nothing is written into what stood there: an own folder of an earlier run keeps its journal
// (a merged journal would let a later recovery undo this live run), a link leads nowhere new.
TEST_F(AbandonedRuns, ARuntimeFolderNameThatExistsIsNeverUsed) {
    const std::string temp = layout_.TempFolder();
    const std::string other = layout_.Root() + "other" + kSep;
    // The ids whose names are taken, each with a folder that must stay empty ("" for none): an own
    // folder with another run's journal, a file, a link to a folder, a folder others may write to.
    Folder("Trailhost_41", Process::CurrentId() + 1, "other.exe", other);
    WriteFile(temp + "Trailhost_42", "not a folder");
    std::vector<std::pair<unsigned long, std::string>> taken = {{41, ""}, {42, ""}};
#ifndef _WIN32
    const std::string target = layout_.Root() + "target";
    CreateFolders(target);
    ASSERT_EQ(symlink(target.c_str(), (temp + "Trailhost_43").c_str()), 0);
    CreateFolders(temp + "Trailhost_44");
    chmod((temp + "Trailhost_44").c_str(), 0777);
    taken.insert(taken.end(), {{43, target}, {44, temp + "Trailhost_44"}});
#endif
    for (const auto& [pid, untouched] : taken) {
        SCOPED_TRACE(pid);
        const std::string name = "Trailhost_" + std::to_string(pid);
        const std::string journalBefore = ReadFile(JournalPath(temp + name));

        const std::string runtime = CreateRuntimeFolder(temp, pid, false);
        ASSERT_EQ(runtime.rfind(temp + name + "_", 0), 0u) << runtime;
        EXPECT_EQ(runtime.back(), kSep[0]);
        EXPECT_TRUE(PathExists(runtime + "session"));
        RecordRunStart(runtime, layout_.ExeFolder());
        EXPECT_EQ(ReadJournal(runtime).size(), 1u);
        EXPECT_EQ(ReadFile(JournalPath(temp + name)), journalBefore);
        if (!untouched.empty()) {
            std::vector<FolderEntry> entries;
            EXPECT_TRUE(ListFolder(untouched, entries));
            EXPECT_TRUE(entries.empty());
        }
    }
    // The earlier run's folder is still its own: the recovery finds that run alone.
    const std::vector<AbandonedRun> found = FindAbandonedRuns(temp, other);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].entries.size(), 1u);
}

}  // namespace
