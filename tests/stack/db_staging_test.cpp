#include "stack/db_staging.h"

#include <gtest/gtest.h>

#include "archive_builder.h"
#include "fault_support.h"
#include "stack/run_journal.h"
#include "sys/files.h"

using namespace testarchive;
using namespace testsupport;
using Method = ZipWriter::Method;

namespace {

const std::string kPass = "open sesame";
const char kAbsent[] = "<absent>";

// An application folder with a data folder and the database server's system tables, and a
// runtime folder beside it.
struct Stack {
    TempDir dir;
    AppSettings settings;
    std::string app = dir / Native("app/");
    std::string runtime = dir / Native("Trailhost_1/");

    Stack() {
        settings.pathToMySqlData = "server\\mysql\\data";
        CreateFolders(app + Native("dbdir/site"));
        WriteFile(app + Native("dbdir/site/t.frm"), "site table");
        CreateFolders(app + Native("server/mysql/data/mysql"));
        WriteFile(app + Native("server/mysql/data/mysql/user.frm"), "system table");
        CreateFolders(runtime);
    }

    std::string Stage(const CancelCheck& stop = nullptr) {
        return StageDatabase(settings, app, runtime, kPass, stop);
    }
};

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<FolderEntry> entries;
    EXPECT_TRUE(ListFolder(folder, entries)) << folder;
    std::vector<std::string> names;
    for (const FolderEntry& entry : entries) {
        names.push_back(entry.name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Encrypted(const std::string& passPhrase, const std::vector<Item>& items) {
    TempDir dir;
    EXPECT_TRUE(WriteArchive(dir / "a.aes", passPhrase, ZipBytes(items)));
    return ReadFile(dir / "a.aes");
}

// Whatever the archive holds, it is unpacked into the runtime folder, its decrypted zip goes, and
// nothing is written outside; damaged archives (which the fuzz targets try on Linux only) unpack
// what they can.
TEST(DatabaseStaging, AnArchiveIsUnpackedIntoTheRuntimeFolderAndNothingLeavesIt) {
    const std::string big(300000, 'b');
    const std::string small = Encrypted(kPass, {{"dbdir/", ""},
                                                {"dbdir/a.txt", std::string(2000, 'a')},
                                                {"dbdir/b.txt", "bbbb", Method::kStored, true}});
    struct Row {
        std::string what, archive;
        // Paths below the unpacked data folder and their bytes; kAbsent for none ("" the folder).
        std::vector<std::pair<std::string, std::string>> files;
    };
    std::vector<Row> rows = {
        {"an archive",
         Encrypted(kPass, {{"dbdir/", ""},
                           {"dbdir/site/t.frm", "from the archive", Method::kStored},
                           {"dbdir/site/big.ibd", big, Method::kDeflated, true},
                           {"dbdir/ibdata1", "x"}}),
         {{Native("site/t.frm"), "from the archive"}, {Native("site/big.ibd"), big}}},
        {"a wrong pass phrase", Encrypted("not it", {{"dbdir/a", "a"}}), {{"", kAbsent}}},
        {"only a counter block", std::string(16, '\x42'), {{"", kAbsent}}},
        // The item after it lies beyond what a read buffer holds of the zip.
        {"an item named like the decrypted zip",
         Encrypted(kPass, {{"dbdir/before", "before"},
                           {"dbdir.zip", std::string(5000, 'z')},
                           {"dbdir/after", big, Method::kStored}}),
         {{"before", "before"}, {"after", big}}},
        {"items that would leave the folder",
         Encrypted(kPass, {{"dbdir/ok", "ok"},
                           {"../escaped", "bad"},
                           {"dbdir/../../escaped2", "bad"},
                           {"dbdir\\..\\..\\escaped3", "bad"},
                           {"/tmp/trh-staging-absolute.txt", "bad"},
                           {"C:/drive", "bad"},
                           {"c:drive2", "bad"}}),
         {{"ok", "ok"}}},
    };
    for (size_t length : {size_t{0}, size_t{5}, size_t{17}, small.size() / 2, small.size() - 1}) {
        rows.push_back({"cut to " + std::to_string(length), small.substr(0, length), {}});
    }
    for (size_t at = 0; at < small.size(); at += 7) {
        rows.push_back({"damaged at " + std::to_string(at), small, {}});
        rows.back().archive[at] = static_cast<char>(small[at] ^ 0x20);
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Stack stack;
        WriteFile(stack.app + "dbdir.aes", row.archive);
        // Written as the launcher has always written it, with the runtime folder's separator
        // doubled.
        const std::string unpacked = stack.runtime + Native("/encdb/dbdir/");
        EXPECT_EQ(stack.Stage(), unpacked);
        for (const auto& [path, bytes] : row.files) {
            EXPECT_EQ(PathExists(unpacked + path) ? ReadFile(unpacked + path) : kAbsent, bytes);
        }
        EXPECT_EQ(Entries(stack.dir.path()), (std::vector<std::string>{"Trailhost_1", "app"}));
        EXPECT_EQ(Entries(stack.runtime), std::vector<std::string>{"encdb"});
        EXPECT_FALSE(PathExists(UnpackFolderName(stack.runtime) + "dbdir.zip"));
        // Of a whole archive only its data folder is unpacked.
        for (const std::string& name : Entries(UnpackFolderName(stack.runtime))) {
            EXPECT_TRUE(row.files.empty() || name == "dbdir") << name;
        }
#ifdef _WIN32
        EXPECT_TRUE(GetFileAttributesA((stack.runtime + "encdb").c_str()) & FILE_ATTRIBUTE_HIDDEN);
#endif
    }
    EXPECT_FALSE(PathExists("/tmp/trh-staging-absolute.txt"));
}

// Without an archive: a mirror when asked for, made once with the system tables; else the data
// folder itself.
TEST(DatabaseStaging, WithoutAnArchiveTheMirrorOrTheDataFolder) {
    Stack stack;
    EXPECT_EQ(stack.Stage(), stack.app + "dbdir" + kSep);
    EXPECT_TRUE(Entries(stack.runtime).empty());

    stack.settings.localMirror = true;
    const std::string mirror = stack.runtime + "database" + kSep;
    EXPECT_EQ(stack.Stage(), mirror);
    EXPECT_EQ(ReadFile(mirror + Native("site/t.frm")), "site table");
    EXPECT_EQ(ReadFile(mirror + Native("mysql/user.frm")), "system table");
    EXPECT_EQ(ReadJournal(stack.runtime).size(), 1u);
    // A mirror that is there is the last run's, changed by it: kept, unless asked to make a fresh
    // copy, which leaves out what only the old one held.
    WriteFile(mirror + Native("site/t.frm"), "changed by the last run");
    WriteFile(mirror + Native("site/dropped.frm"), "a table the site no longer has");
    EXPECT_EQ(stack.Stage(), mirror);
    EXPECT_EQ(ReadFile(mirror + Native("site/t.frm")), "changed by the last run");
    stack.settings.overwriteLocalMirror = true;
    EXPECT_EQ(stack.Stage(), mirror);
    EXPECT_EQ(ReadFile(mirror + Native("site/t.frm")), "site table");
    EXPECT_FALSE(PathExists(mirror + Native("site/dropped.frm")));
    // A stop in the middle of the copy: what was copied goes, and no half mirror stays.
    int asked = 0;
    EXPECT_EQ(stack.Stage([&asked] { return ++asked > 2; }), mirror);
    EXPECT_GT(asked, 2);
    EXPECT_FALSE(PathExists(mirror));

    // A configured mirror folder, without a trailing separator.
    stack.settings.mirrorFolder = stack.dir / "mirror";
    stack.settings.hideMirrorFolder = true;
    EXPECT_EQ(stack.Stage(), stack.settings.mirrorFolder + kSep);
    EXPECT_EQ(ReadFile(stack.dir / Native("mirror/mysql/user.frm")), "system table");
#ifdef _WIN32
    EXPECT_TRUE(GetFileAttributesA(stack.settings.mirrorFolder.c_str()) & FILE_ATTRIBUTE_HIDDEN);
#endif
    // The archive comes first.
    WriteFile(stack.app + "dbdir.aes", Encrypted(kPass, {{"dbdir/a", "a"}}));
    EXPECT_EQ(stack.Stage(), stack.runtime + Native("/encdb/dbdir/"));
}

// An unpack that would fill the disk is refused before any item is written; the run then goes on
// without the database, as with a damaged archive. The free space comes from a seam here.
TEST(DatabaseUnpack, IsRefusedWhenTheItemsWouldNotLeaveRoomOnTheDisk) {
    TempDir dir;
    const std::string zip = dir / "db.zip";
    const std::uint64_t total = 3 * 1024 * 1024;
    WriteFile(zip, ZipBytes({{"dbdir/", ""},
                             {"dbdir/a", std::string(1024 * 1024, 'a')},
                             {"dbdir/b", std::string(2 * 1024 * 1024, 'b')}}));
    for (const auto& [free, unpacks] : std::vector<std::pair<std::uint64_t, bool>>{
             {total + kUnpackSpareBytes - 1, false},
             {total / 2, false},
             {total + kUnpackSpareBytes + 1024 * 1024, true}}) {
        const std::string folder = dir / ("out-" + std::to_string(free)) + kSep;
        CreateFolders(folder);
        UnpackOptions options;
        options.freeSpace = [&, free = free](const std::string& asked) {
            EXPECT_EQ(asked, folder);
            return std::optional<std::uint64_t>(free);
        };
        EXPECT_EQ(UnpackArchive(zip, folder, options), unpacks ? 3 : 0) << free;
        EXPECT_EQ(Entries(folder).empty(), !unpacks) << free;
    }
}

#ifndef _WIN32
// The same on a real disk that is nearly full: a small file system of the test's own.
TEST(DatabaseUnpack, IsRefusedOnANearlyFullDisk) {
    TempDir dir;
    const std::string zip = dir / "db.zip";
    WriteFile(zip, ZipBytes({{"dbdir/a", std::string(10 * 1024 * 1024, 'a')}}));
    const std::string folder = dir / "disk";
    SmallDisk disk(MadeFolder(folder), 24 * 1024);
    if (!disk.ok()) {
        GTEST_SKIP() << "no mounts of the test's own here (they need root)";
    }
    EXPECT_EQ(UnpackArchive(zip, folder + kSep), 0);
    EXPECT_TRUE(Entries(folder).empty());
    // Where there is room, the same archive unpacks.
    EXPECT_EQ(UnpackArchive(zip, dir / "roomy" + kSep), 1);
}
#endif

}  // namespace
