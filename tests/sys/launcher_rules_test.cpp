// The rules of the launcher that need no process: start-up shape from the size text,
// command-line splitting, the handover's name, and which processes of a table belong to a tree
// or to a launch.
#include "sys/launcher.h"

#include <gtest/gtest.h>

#include <tuple>

#ifndef _WIN32
#include <sys/stat.h>

#include <filesystem>

#include "test_support.h"
#endif

namespace {

TEST(StartupShape, FollowsShowFlagAndSizeText) {
    const struct {
        bool show;
        const char* size;
        int showState;
        bool useSize;
        std::uint32_t width;
        std::uint32_t height;
    } cases[] = {
        {true, "", kShowNormal, false, 0, 0},
        {false, "", kShowHide, false, 0, 0},
        {true, "MAXIMIZE", kShowMaximize, false, 0, 0},
        {true, "MaXiMiZe", kShowMaximize, false, 0, 0},
        {false, "MAXIMIZE", kShowHide, false, 0, 0},
        {true, "800x600", kShowNormal, true, 800, 600},
        {false, "800x600", kShowHide, true, 800, 600},
        {true, "600", kShowNormal, true, 0, 600},
        {true, "Max-Size", kShowNormal, true, 0, 0},
        // Only a lower-case x separates; an upper-case one makes the whole text unreadable.
        {true, "800X600", kShowNormal, true, 0, 800},
        {true, "x600", kShowNormal, true, 0, 600},
        {true, "800x", kShowNormal, true, 800, 0},
        {true, "12abcx34def", kShowNormal, true, 12, 34},
        {true, "MAXIMIZED", kShowNormal, true, 0, 0},
        {true, "-5x-7", kShowNormal, true, 0, 0},
        {true, "99999999999x1", kShowNormal, true, 0x7FFFFFFF, 1},
    };
    for (const auto& c : cases) {
        const StartupShape s = StartupShapeFor(c.show, c.size);
        EXPECT_EQ(std::tuple(s.showState, s.useSize, s.width, s.height),
                  std::tuple(c.showState, c.useSize, c.width, c.height))
            << (c.show ? "shown \"" : "hidden \"") << c.size << "\"";
    }
}

TEST(SplitWindowsCommandLine, FollowsTheRuntimesQuotingRules) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"", {}},
        {" \t ", {}},
        {"prog", {"prog"}},
        {"prog ", {"prog"}},
        {"  prog  a  b ", {"prog", "a", "b"}},
        {"prog\ta\t\tb", {"prog", "a", "b"}},
        {"prog \"a b\" c", {"prog", "a b", "c"}},
        {"prog \"a\tb\"", {"prog", "a\tb"}},
        {"prog \"\" x \"\"", {"prog", "", "x", ""}},
        {"prog a\"b c\"d", {"prog", "ab cd"}},
        {"prog \"unterminated arg", {"prog", "unterminated arg"}},
        // Backslashes are literal unless a quote follows them.
        {"prog a\\b c\\\\d e\\", {"prog", "a\\b", "c\\\\d", "e\\"}},
        {"prog a\\\"b", {"prog", "a\"b"}},
        {"prog a\\\\\"b c\"", {"prog", "a\\b c"}},
        {"prog a\\\\\\\"b", {"prog", "a\\\"b"}},
        {"prog \"a\\\\\" b", {"prog", "a\\", "b"}},
        {"prog \"a\\\" b\"", {"prog", "a\" b"}},
        // Two quotes inside quotes give one literal quote and stay inside.
        {"prog \"a\"\"b\"", {"prog", "a\"b"}},
        {"prog \"\"\"\"", {"prog", "\""}},
        {"prog \"a \"\" b\"", {"prog", "a \" b"}},
        // The program name honours only quotes.
        {"\"C:\\Program Files\\app\\prog.exe\" -x", {"C:\\Program Files\\app\\prog.exe", "-x"}},
        {"\"C:\\dir\\\" next", {"C:\\dir\\", "next"}},
        {"C:\\a\\\"b c\" d", {"C:\\a\\b c", "d"}},
        {"\"/opt/my app/bin\"/run x", {"/opt/my app/bin/run", "x"}},
        // Shell characters are plain text.
        {"prog http://h/?a=1&b=2;c=$(id)|`id`>o 'q'",
         {"prog", "http://h/?a=1&b=2;c=$(id)|`id`>o", "'q'"}},
    };
    for (const auto& [line, args] : cases) {
        EXPECT_EQ(SplitWindowsCommandLine(line), args) << line;
    }
}

TEST(JoinWindowsCommandLine, JoinedArgumentsSplitBackUnchanged) {
    const std::vector<std::vector<std::string>> tables = {
        {"C:\\Program Files\\x.exe", "plain", "with blank", "quote\"inside", "trailing\\",
         "C:\\my stack\\", "back\\\\\"mix", "", "tab\there"},
        {"/usr/bin/chromium", "--user-data-dir=/tmp/a b/c", "http://h:1/?a=1&b=\"2\""},
        {"prog"},
    };
    for (const std::vector<std::string>& args : tables) {
        EXPECT_EQ(SplitWindowsCommandLine(JoinWindowsCommandLine(args)), args);
    }
    EXPECT_EQ(JoinWindowsCommandLine({"a", "b c"}), "a \"b c\"");
}

TEST(HandoverName, IsTheFileNameUpToTheFirstExe) {
    const std::pair<const char*, const char*> cases[] = {
        {"firefox.exe", "firefox.exe"},
        {"firefox.exe -url http://x/", "firefox.exe"},
        {"C:\\Program Files\\Mozilla Firefox\\firefox.exe -profile p ", "firefox.exe"},
        {"\"C:\\Program Files\\Mozilla Firefox\\FireFox.EXE\" -url x ", "FireFox.EXE"},
        {"\"ffp.exe\" http://127.0.0.1/", "ffp.exe"},
        {"D:/portable/ffp.Exe", "ffp.Exe"},
        // Only the first ".EXE" counts, wherever it sits.
        {"C:\\tools\\a.exe.dir\\b.exe x", "a.exe"},
        {"C:\\app.executable\\run.exe", "app.exe"},
        {"/usr/bin/firefox http://x/", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileNameOf(ExecutablePathOf(c.first)), c.second) << c.first;
    }
    EXPECT_EQ(ExecutablePathOf("\"C:\\x y\\b.exe\" -a"), "\"C:\\x y\\b.exe");
    EXPECT_EQ(FileNameOf("/usr/lib/firefox-esr/firefox-esr"), "firefox-esr");
}

#ifndef _WIN32
// A name without a folder is looked for in the folders of PATH, never in the current folder (an
// empty element), and only an executable file counts.
TEST(FindProgram, TakesTheFirstExecutableFileOnThePath) {
    testsupport::TempDir dir;
    for (const char* folder : {"cwd", "plain", "folder/prog", "bin"}) {
        std::filesystem::create_directories(dir / folder);
    }
    for (const char* file : {"cwd/prog", "plain/prog", "bin/prog"}) {
        testsupport::WriteFile(dir / file, "#!/bin/sh\n");
        chmod((dir / file).c_str(), std::string(file) == "plain/prog" ? 0644 : 0755);
    }
    const testsupport::ScopedEnv savedPath("PATH", testsupport::GetEnv("PATH"));
    const testsupport::CurrentFolder inCwd(dir / "cwd");
    const struct {
        const char* what;
        const char* path;  // '@' stands for the test's folder; nullptr: PATH unset
        std::string program;
        std::string found;
    } rows[] = {
        {"a name with a folder", "", "./prog", "./prog"},
        {"past an empty element, a plain file and a folder", ":@plain:@folder:@bin:@cwd", "prog",
         dir / "bin/prog"},
        {"not in the current folder", "::@plain", "prog", ""},
        {"without PATH, the system's folders", nullptr, "sh", "/usr/bin/sh"},
    };
    for (const auto& row : rows) {
        std::string folders = row.path != nullptr ? row.path : "";
        for (std::string::size_type at; (at = folders.find('@')) != std::string::npos;) {
            folders.replace(at, 1, dir.path());
        }
        testsupport::SetEnv("PATH", row.path != nullptr ? std::optional(folders) : std::nullopt);
        EXPECT_EQ(FindProgram(row.program), row.found) << row.what;
    }
}
#endif

// A table row: id, parent, start time, and (for the handover) name and process group.
ProcessEntry Row(std::uint32_t id, std::uint32_t parent, std::uint64_t start,
                 const char* name = "a.exe", std::uint32_t group = 0) {
    ProcessEntry entry;
    entry.id = id;
    entry.parent = parent;
    entry.startTime = start;
    entry.name = name;
    entry.path = std::string("/usr/bin/") + name;
    entry.group = group;
    return entry;
}

// Another user's process: the system lists its name but keeps its executable closed.
ProcessEntry OtherUsers(ProcessEntry entry) {
    entry.path.clear();
    return entry;
}

TEST(DescendantsOf, FollowsParentIdsOnlyToProcessesStartedLater) {
    // The root is process 10.
    const struct {
        const char* what;
        std::uint64_t rootStart;
        std::vector<std::uint32_t> expected;
        std::vector<ProcessEntry> table;
    } cases[] = {
        {"child and grandchild",
         100,
         {11, 12},
         {Row(10, 1, 100), Row(11, 10, 105), Row(12, 11, 110)}},
        {"a process older than the root names a reused id",
         100,
         {11},
         {Row(10, 1, 100), Row(13, 10, 90), Row(11, 10, 100)}},
        {"the root ended; its id now belongs to a newer process with children of its own",
         100,
         {11, 12},
         {Row(10, 1, 200), Row(14, 10, 210), Row(11, 10, 105), Row(12, 11, 106)}},
        {"the root's start taken from the table", 0, {}, {Row(10, 1, 100), Row(13, 10, 90)}},
        {"an unreadable start is no proof", 100, {}, {Row(10, 1, 100), Row(15, 10, 0)}},
        {"nothing readable at all", 0, {15}, {Row(10, 1, 0), Row(15, 10, 0)}},
        {"a cycle of stale ids", 100, {11}, {Row(10, 11, 100), Row(11, 10, 100)}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DescendantsOf(c.table, 10, c.rootStart), c.expected) << c.what;
    }
}

TEST(HandoverFamily, AdoptsNewcomersOfTheLaunchTheWantedNameFirst) {
    const Process self = Process::Current();
    const std::uint32_t me = self.id();
    const std::uint64_t t = self.startTime();
    const struct {
        const char* what;
        std::string wanted;
        std::uint32_t expected;                         // chosen at the last look
        std::vector<std::vector<ProcessEntry>> tables;  // one look after the other
    } cases[] = {
        {"the launched program itself", "", me, {{Row(me, 1, t)}}},
        {"never the user's program that ran before, whatever its name",
         "b.exe",
         0,
         {{Row(5, 1, 50, "b.exe")}}},
        {"a newcomer of the wanted name that the launch did not start",
         "b.exe",
         900009,
         {{Row(5, 1, 50, "b.exe"), Row(900009, 1, t + 3, "b.exe")}}},
        {"never another user's newcomer of the wanted name",
         "b.exe",
         0,
         {{OtherUsers(Row(900010, 1, t + 3, "b.exe"))}}},
        {"its child once it has ended",
         "",
         900001,
         {{Row(me, 1, t), Row(900001, me, t + 5)},
          {Row(900001, me, t + 5), Row(900002, 900001, t + 6)}}},
        {"a grandchild whose parent ended between two looks",
         "",
         900002,
         {{Row(900001, me, t + 5)}, {Row(900002, 900001, t + 6)}}},
        {"a member of the launch's process group", "", 900003, {{Row(900003, 1, t + 9, "x", me)}}},
        {"the wanted name before the launch's own",
         "b.exe",
         900004,
         {{Row(me, 1, t), Row(900004, 1, t + 9, "B.exe")}}},
        {"an old process with the launch's parent id is none of its",
         "",
         0,
         {{Row(900005, me, t - 1)}}},
        {"the program rather than its helpers",
         "",
         900006,
         {{Row(900006, me, t + 20), Row(900007, 900006, t + 21), Row(900008, me, t + 30)}}},
    };
    for (const auto& c : cases) {
        HandoverFamily family(self, {Row(5, 1, 50, "b.exe")}, c.wanted);
        std::optional<ProcessEntry> pick;
        for (const auto& table : c.tables) {
            pick = family.Choose(table);
        }
        EXPECT_EQ(pick ? pick->id : 0u, c.expected) << c.what;
    }
}

TEST(MergeEnvironment, TheLaunchsVariablesReplaceOrJoinTheInheritedOnes) {
    const std::vector<std::string> inherited = {"=C:=C:\\dir", "PATH=/bin", "HOME=/home/u",
                                                "XDG_CONFIG_HOME=/home/u/.config"};
    EXPECT_EQ(MergeEnvironment(inherited, {}), inherited);
    EXPECT_EQ(MergeEnvironment(inherited, {{"XDG_CONFIG_HOME", "/run/c"}, {"MOZ_X", "1"}}),
              (std::vector<std::string>{"=C:=C:\\dir", "PATH=/bin", "HOME=/home/u",
                                        "XDG_CONFIG_HOME=/run/c", "MOZ_X=1"}));
    // Names differ by case only on Linux.
#ifdef _WIN32
    const std::vector<std::string> other = {"=C:=C:\\dir", "Path=/x", "HOME=/home/u",
                                            "XDG_CONFIG_HOME=/home/u/.config"};
#else
    const std::vector<std::string> other = {"=C:=C:\\dir", "PATH=/bin", "HOME=/home/u",
                                            "XDG_CONFIG_HOME=/home/u/.config", "Path=/x"};
#endif
    EXPECT_EQ(MergeEnvironment(inherited, {{"Path", "/x"}}), other);
}

}  // namespace
