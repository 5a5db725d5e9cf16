#include "stack/db_staging.h"

#include <gtest/gtest.h>

#include "archive_builder.h"
#include "fault_support.h"
#include "sys/files.h"
#include "sys/folders.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

using testarchive::Item;
using testarchive::WriteArchive;
using testarchive::ZipBytes;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;
using Method = ZipWriter::Method;

namespace {

const std::string kSep(1, kPathSeparator);
const std::string kPass = "open sesame";

// An application folder with a data folder and the database server's system tables, and a
// runtime folder beside it.
struct Stack {
    TempDir dir;
    AppSettings settings;
    std::string app = dir / "app" + kSep;
    std::string runtime = dir / "Trailhost_1" + kSep;

    Stack() {
        settings.pathToMySqlData = "server\\mysql\\data";
        CreateFolders(app + "dbdir" + kSep + "site");
        WriteFile(app + "dbdir" + kSep + "site" + kSep + "t.frm", "site table");
        CreateFolders(app + "server" + kSep + "mysql" + kSep + "data" + kSep + "mysql");
        WriteFile(
            app + "server" + kSep + "mysql" + kSep + "data" + kSep + "mysql" + kSep + "user.frm",
            "system table");
        CreateFolders(runtime);
    }

    std::string Unpacked() const { return runtime + kSep + "encdb" + kSep + "dbdir" + kSep; }
    std::string Stage(const std::string& passPhrase = kPass) {
        return StageDatabase(settings, app, runtime, passPhrase);
    }
};

TEST(DatabaseStaging, WithoutArchiveOrMirrorTheDataStayWhereTheyAre) {
    Stack stack;
    EXPECT_EQ(stack.Stage(), stack.app + "dbdir" + kSep);
    std::vector<FolderEntry> entries;
    ASSERT_TRUE(ListFolder(stack.runtime, entries));
    EXPECT_TRUE(entries.empty());
}

TEST(DatabaseStaging, UnpacksTheArchiveIntoTheRuntimeFolder) {
    Stack stack;
    const std::string big(300000, 'b');
    ASSERT_TRUE(WriteArchive(stack.app + "dbdir.aes", kPass,
                             ZipBytes({{"dbdir/", ""},
                                       {"dbdir/site/", ""},
                                       {"dbdir/site/t.frm", "from the archive", Method::kStored},
                                       {"dbdir/site/big.ibd", big, Method::kDeflated, true},
                                       {"dbdir/ibdata1", "x", Method::kDeflated}})));
    const std::string dbFolder = stack.Stage();
    EXPECT_EQ(dbFolder, stack.Unpacked());
    EXPECT_EQ(ReadFile(dbFolder + "site" + kSep + "t.frm"), "from the archive");
    EXPECT_EQ(ReadFile(dbFolder + "site" + kSep + "big.ibd"), big);
    EXPECT_EQ(ReadFile(dbFolder + "ibdata1"), "x");
    // The decrypted zip file is gone.
    EXPECT_FALSE(PathExists(UnpackFolderName(stack.runtime) + "dbdir.zip"));
#ifdef _WIN32
    EXPECT_TRUE(GetFileAttributesA(UnpackFolderName(stack.runtime).c_str()) &
                FILE_ATTRIBUTE_HIDDEN);
#endif
}

TEST(DatabaseStaging, TheArchiveWinsOverTheMirror) {
    Stack stack;
    stack.settings.localMirror = true;
    ASSERT_TRUE(WriteArchive(stack.app + "dbdir.aes", kPass, ZipBytes({{"dbdir/a", "a"}})));
    EXPECT_EQ(stack.Stage(), stack.Unpacked());
    EXPECT_FALSE(PathExists(stack.runtime + "database"));
}

TEST(DatabaseStaging, AWrongPassPhraseUnpacksNothingAndGoesOn) {
    Stack stack;
    ASSERT_TRUE(WriteArchive(stack.app + "dbdir.aes", kPass, ZipBytes({{"dbdir/a", "a"}})));
    EXPECT_EQ(stack.Stage("not the pass phrase"), stack.Unpacked());
    EXPECT_FALSE(PathExists(stack.Unpacked()));
    EXPECT_FALSE(PathExists(UnpackFolderName(stack.runtime) + "dbdir.zip"));
}

TEST(DatabaseStaging, AnArchiveOfOnlyACounterBlockUnpacksNothing) {
    Stack stack;
    WriteFile(stack.app + "dbdir.aes", std::string(16, '\x42'));
    EXPECT_EQ(stack.Stage(), stack.Unpacked());
    EXPECT_FALSE(PathExists(stack.Unpacked()));
}

TEST(DatabaseStaging, TruncatedOrDamagedArchivesNeverCrashOrEscape) {
    Stack stack;
    const std::string zip = ZipBytes({{"dbdir/", ""},
                                      {"dbdir/a.txt", std::string(2000, 'a')},
                                      {"dbdir/b.txt", "bbbb", Method::kStored, true}});
    ASSERT_TRUE(WriteArchive(stack.dir / "good.aes", kPass, zip));
    const std::string good = ReadFile(stack.dir / "good.aes");
    std::vector<std::string> bad;
    for (size_t length : {size_t{0}, size_t{5}, size_t{17}, good.size() / 2, good.size() - 1}) {
        bad.push_back(good.substr(0, length));
    }
    for (size_t at = 0; at < good.size(); at += 7) {
        std::string damaged = good;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x20);
        bad.push_back(damaged);
    }
    for (const std::string& archive : bad) {
        WriteFile(stack.app + "dbdir.aes", archive);
        EXPECT_EQ(stack.Stage(), stack.Unpacked());
        DeleteFolderTree(stack.runtime + "encdb");
    }
    // Nothing appeared beside the runtime folder's own entries.
    std::vector<FolderEntry> entries;
    ASSERT_TRUE(ListFolder(stack.runtime, entries));
    EXPECT_TRUE(entries.empty());
}

TEST(DatabaseStaging, ItemsThatWouldLeaveTheUnpackFolderAreRefused) {
    Stack stack;
    const std::vector<Item> items = {
        {"dbdir/ok.txt", "ok"},
        {"../escaped.txt", "bad"},
        {"dbdir/../../escaped2.txt", "bad"},
        {"dbdir\\..\\..\\escaped3.txt", "bad"},
        {"/tmp/trh-staging-absolute.txt", "bad"},
        {"C:/drive.txt", "bad"},
        {"c:drive2.txt", "bad"},
    };
    ASSERT_TRUE(WriteArchive(stack.app + "dbdir.aes", kPass, ZipBytes(items)));
    EXPECT_EQ(stack.Stage(), stack.Unpacked());
    EXPECT_EQ(ReadFile(stack.Unpacked() + "ok.txt"), "ok");
    std::vector<FolderEntry> entries;
    ASSERT_TRUE(ListFolder(stack.runtime, entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "encdb");
    ASSERT_TRUE(ListFolder(UnpackFolderName(stack.runtime), entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "dbdir");
    ASSERT_TRUE(ListFolder(stack.dir.path(), entries));
    EXPECT_EQ(entries.size(), 2u);
    EXPECT_FALSE(PathExists(stack.dir / "escaped.txt"));
    EXPECT_FALSE(PathExists(stack.dir / "escaped2.txt"));
    EXPECT_FALSE(PathExists(stack.dir / "escaped3.txt"));
    EXPECT_FALSE(PathExists("/tmp/trh-staging-absolute.txt"));
}

TEST(DatabaseStaging, AnItemNamedLikeTheArchiveDoesNotOverwriteIt) {
    Stack stack;
    ASSERT_TRUE(WriteArchive(stack.app + "dbdir.aes", kPass,
                             ZipBytes({{"dbdir/before.txt", "before"},
                                       {"dbdir.zip", std::string(5000, 'z')},
                                       {"dbdir/after.txt", "after"}})));
    EXPECT_EQ(stack.Stage(), stack.Unpacked());
    EXPECT_EQ(ReadFile(stack.Unpacked() + "before.txt"), "before");
    EXPECT_EQ(ReadFile(stack.Unpacked() + "after.txt"), "after");
    EXPECT_FALSE(PathExists(UnpackFolderName(stack.runtime) + "dbdir.zip"));
}

TEST(DatabaseStaging, MakesTheMirrorOnceWithTheSystemTables) {
    Stack stack;
    stack.settings.localMirror = true;
    const std::string mirror = stack.runtime + "database" + kSep;
    EXPECT_EQ(stack.Stage(), mirror);
    EXPECT_EQ(ReadFile(mirror + "site" + kSep + "t.frm"), "site table");
    EXPECT_EQ(ReadFile(mirror + "mysql" + kSep + "user.frm"), "system table");
}

TEST(DatabaseStaging, AConfiguredMirrorFolderIsUsed) {
    Stack stack;
    stack.settings.localMirror = true;
    stack.settings.hideMirrorFolder = true;
    stack.settings.mirrorFolder = stack.dir / "mirror" + kSep;
    EXPECT_EQ(stack.Stage(), stack.settings.mirrorFolder);
    EXPECT_EQ(ReadFile(stack.settings.mirrorFolder + "site" + kSep + "t.frm"), "site table");
#ifdef _WIN32
    EXPECT_TRUE(GetFileAttributesA(stack.settings.mirrorFolder.c_str()) & FILE_ATTRIBUTE_HIDDEN);
#endif
}

TEST(DatabaseStaging, AnExistingMirrorIsNotOverwritten) {
    Stack stack;
    stack.settings.localMirror = true;
    const std::string mirror = stack.runtime + "database" + kSep;
    CreateFolders(mirror + "site");
    WriteFile(mirror + "site" + kSep + "t.frm", "changed by the last run");
    EXPECT_EQ(stack.Stage(), mirror);
    EXPECT_EQ(ReadFile(mirror + "site" + kSep + "t.frm"), "changed by the last run");
    EXPECT_FALSE(PathExists(mirror + "mysql"));

    // Asked to, a fresh copy replaces it: what only the old mirror held goes too.
    WriteFile(mirror + "site" + kSep + "dropped.frm", "a table the site no longer has");
    stack.settings.overwriteLocalMirror = true;
    EXPECT_EQ(stack.Stage(), mirror);
    EXPECT_EQ(ReadFile(mirror + "site" + kSep + "t.frm"), "site table");
    EXPECT_EQ(ReadFile(mirror + "mysql" + kSep + "user.frm"), "system table");
    EXPECT_FALSE(PathExists(mirror + "site" + kSep + "dropped.frm"));
}

TEST(DatabaseStaging, AnEmptyMirrorIsFilledWhenOverwriting) {
    Stack stack;
    stack.settings.localMirror = true;
    stack.settings.overwriteLocalMirror = true;
    const std::string mirror = stack.runtime + "database" + kSep;
    CreateFolders(mirror);
    EXPECT_EQ(stack.Stage(), mirror);
    EXPECT_EQ(ReadFile(mirror + "site" + kSep + "t.frm"), "site table");
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
        std::vector<FolderEntry> entries;
        ASSERT_TRUE(ListFolder(folder, entries));
        EXPECT_EQ(entries.empty(), !unpacks) << free;
    }
}

#ifndef _WIN32
// The same on a real disk that is nearly full: a small file system of the test's own.
TEST(DatabaseUnpack, IsRefusedOnANearlyFullDisk) {
    TempDir dir;
    const std::string zip = dir / "db.zip";
    WriteFile(zip, ZipBytes({{"dbdir/a", std::string(10 * 1024 * 1024, 'a')}}));
    const std::string folder = dir / "disk";
    testsupport::SmallDisk disk(testsupport::MadeFolder(folder), 24 * 1024);
    if (!disk.ok()) {
        GTEST_SKIP() << "no mounts of the test's own here (they need root)";
    }
    EXPECT_EQ(UnpackArchive(zip, folder + kSep), 0);
    std::vector<FolderEntry> entries;
    ASSERT_TRUE(ListFolder(folder, entries));
    EXPECT_TRUE(entries.empty());
    // Where there is room, the same archive unpacks.
    EXPECT_EQ(UnpackArchive(zip, dir / "roomy" + kSep), 1);
}
#endif

}  // namespace
