#include "sys/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "sys/folders.h"
#include "test_support.h"

#ifndef _WIN32
#include "second_user.h"
#endif

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using testsupport::Native;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// A folder link (a symbolic link on both systems); false where the system cannot make one.
bool MakeFolderLink(const std::string& target, const std::string& link) {
#ifdef _WIN32
    constexpr DWORD kUnprivileged = 0x2;
    CreateSymbolicLinkA(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY | kUnprivileged);
    const DWORD attributes = GetFileAttributesA(link.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
#else
    return symlink(target.c_str(), link.c_str()) == 0;
#endif
}

void MakeSampleTree(const std::string& root) {
    ASSERT_TRUE(CreateFolders(root + "a" + kSep + "b"));
    ASSERT_TRUE(CreateFolders(root + "empty"));
    WriteFile(root + "top.txt", "top");
    WriteFile(root + "a" + kSep + "one.bin", std::string("\0\x01\xff\r\n", 5));
    WriteFile(root + "a" + kSep + "b" + kSep + "deep.txt", std::string(100000, 'x'));
}

#ifdef _WIN32
DWORD Attributes(const std::string& path) {
    return GetFileAttributesA(path.c_str());
}
#endif

// Read-only: the attribute on Windows, no write permission on Linux.
void MakeReadOnly(const std::string& path) {
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

bool IsWritable(const std::string& path) {
    return (fs::status(path).permissions() & fs::perms::owner_write) != fs::perms::none;
}

// Each missing level costs CreateFolderPath two of its ten attempts; CreateFolders has no limit.
TEST(CreateFolderPath, MakesWhatTenAttemptsReachAndNothingThroughAFile) {
    const auto limited = [](const std::string& path) { return CreateFolderPath(path, false); };
    const struct {
        const char* what;
        std::function<bool(const std::string&)> make;
        const char* there;  // made first: a folder, or a file when it ends with ".txt"
        const char* path;
        bool made;
    } rows[] = {
        {"five missing levels", limited, "", "1/2/3/4/5", true},
        {"six missing levels", limited, "", "1/2/3/4/5/6", false},
        {"ten missing levels", limited, "", "1/2/3/4/5/6/7/8/9/10", false},
        {"five missing below six that exist", limited, "a/b/c/d/e/f", "a/b/c/d/e/f/1/2/3/4/5",
         true},
        {"a folder that exists", limited, "a/b/c/d/e/f", "a/b/c/d/e/f", true},
        {"a trailing separator", limited, "", "t/", true},
        {"a file in the way", limited, "file.txt", "file.txt/sub", false},
        {"twelve missing levels, without limit", CreateFolders, "", "1/2/3/4/5/6/7/8/9/10/11/12",
         true},
        {"a file in the way, without limit", CreateFolders, "file.txt", "file.txt/sub", false},
    };
    for (const auto& row : rows) {
        TempDir dir;
        const std::string there = Native(dir / row.there);
        if (there.size() > 4 && there.substr(there.size() - 4) == ".txt") {
            WriteFile(there, "x");
        } else {
            ASSERT_TRUE(CreateFolders(there)) << row.what;
        }
        EXPECT_TRUE(PathExists(there)) << row.what;
        const std::string path = Native(dir / row.path);
        EXPECT_EQ(row.make(path), row.made) << row.what;
        EXPECT_EQ(fs::is_directory(path), row.made) << row.what;
        // With or without a trailing separator.
        EXPECT_EQ(PathExists(path), row.made) << row.what;
        EXPECT_EQ(PathExists(path + kSep), row.made) << row.what;
    }
    EXPECT_FALSE(PathExists(""));
    // A file of the very name is no folder either.
    TempDir dir;
    WriteFile(dir / "file.txt", "x");
    EXPECT_FALSE(CreateFolders(dir / "file.txt"));
    EXPECT_FALSE(CreateFolderPath(dir / "file.txt", false));
    // Slashes part the levels on Windows too.
    EXPECT_TRUE(CreateFolderPath(dir / "s/t/u", false));
    EXPECT_TRUE(fs::is_directory(dir / "s/t/u"));
#ifdef _WIN32
    // A path in its short form is the same path.
    char shortForm[MAX_PATH] = "";
    ASSERT_NE(GetShortPathNameA(dir.path().c_str(), shortForm, MAX_PATH), 0u);
    EXPECT_NE(shortForm, dir.path());
    EXPECT_TRUE(SamePath(shortForm, dir.path()));
#endif
}

#ifdef _WIN32
TEST(CreateFolderPath, HidesOrUnhidesEveryFolderItTries) {
    TempDir dir;
    const std::string runtime = dir / "Trailhost_1" + kSep;
    ASSERT_TRUE(CreateFolderPath(runtime, true));
    ASSERT_TRUE(CreateFolderPath(runtime + "session", true));
    EXPECT_TRUE(Attributes(runtime) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(Attributes(runtime + "session") & FILE_ATTRIBUTE_HIDDEN);

    // An existing folder loses the attribute when the folder is asked for unhidden.
    ASSERT_TRUE(CreateFolderPath(runtime, false));
    EXPECT_FALSE(Attributes(runtime) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(Attributes(runtime + "session") & FILE_ATTRIBUTE_HIDDEN);
}
#endif

TEST(DeleteFolderTree, RemovesWholeTreesWithWriteProtectedPartsAndRefusesMissingOnes) {
    const struct {
        const char* what;
        std::function<void(const std::string&)> make;
        bool deleted;
    } rows[] = {
        {"a tree with write-protected parts",
         [](const std::string& root) {
             MakeSampleTree(root + kSep);
#ifdef _WIN32
             MakeReadOnly(root + kSep + "top.txt");
#else
             chmod((root + kSep + "a" + kSep + "b").c_str(), 0555);
             chmod((root + kSep + "a").c_str(), 0);
#endif
         },
         true},
        {"an empty folder", [](const std::string& root) { CreateFolders(root); }, true},
        {"a missing folder", [](const std::string&) {}, false},
    };
    for (const auto& row : rows) {
        TempDir dir;
        row.make(dir / "tree");
        EXPECT_EQ(DeleteFolderTree(dir / "tree" + kSep), row.deleted) << row.what;
        EXPECT_FALSE(PathExists(dir / "tree")) << row.what;
        EXPECT_TRUE(PathExists(dir.path())) << row.what;
    }
#ifndef _WIN32
    // Root enters a folder closed to its owner anyway: a tree with one is deleted by another user.
    std::string why;
    if (const auto user = testsupport::SecondUserOfThisMachine(why)) {
        TempDir dir;
        const std::string tree = dir / "tree";
        MakeSampleTree(tree + kSep);
        chown(dir.path().c_str(), user->uid, user->gid);
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(dir.path())) {
            chown(entry.path().c_str(), user->uid, user->gid);
        }
        EXPECT_TRUE(testsupport::RunsAs(*user, [&] {
            return chmod((tree + "/a").c_str(), 0) == 0 && DeleteFolderTree(tree) &&
                   !PathExists(tree);
        }));
    }
#endif
}

// Links inside a tree may lead to the user's own files: neither a delete nor a copy goes there.
TEST(FolderTrees, NeitherDeleteNorCopyEntersOrFollowsALink) {
    TempDir dir;
    const std::string user = dir / "user";
    ASSERT_TRUE(CreateFolders(user));
    WriteFile(user + kSep + "letter.txt", "keep me");
    const std::string root = dir / "runtime";
    MakeSampleTree(root + kSep);
    if (!MakeFolderLink(user, root + kSep + "a" + kSep + "link")) {
        GTEST_SKIP() << "this system cannot make folder links";
    }
    EXPECT_TRUE(CopyFolderTree(root, dir / "copy"));
    EXPECT_FALSE(PathExists(dir / "copy" + kSep + "a" + kSep + "link"));
    EXPECT_TRUE(PathExists(dir / "copy" + kSep + "a" + kSep + "b" + kSep + "deep.txt"));

    DeleteFolderTree(root);
    EXPECT_EQ(ReadFile(user + kSep + "letter.txt"), "keep me");
#ifndef _WIN32
    // Wine cannot remove a Unix link through the Win32 calls; Linux and Windows do.
    EXPECT_FALSE(PathExists(root));
    // A link given as the folder goes as a link.
    ASSERT_TRUE(MakeFolderLink(user, dir / "link"));
    EXPECT_TRUE(DeleteFolderTree(dir / "link" + kSep));
    EXPECT_FALSE(PathExists(dir / "link"));
    EXPECT_EQ(ReadFile(user + kSep + "letter.txt"), "keep me");
#endif
}

// The source is the site's medium: copies from it are byte for byte and writable, while the
// medium is read, never changed, not even its attributes.
TEST(Copies, AreByteForByteAndWritableLeaveTheSourceAloneAndStopAtAFailure) {
    TempDir dir;
    const std::string source = dir / "src";
    MakeSampleTree(source + kSep);
    const std::string top = source + kSep + "top.txt";
    MakeReadOnly(top);
    const auto tree = [&](const std::string& target) { return CopyFolderTree(source, target); };
    const auto one = [&](const std::string& target) {
        return CopyOneFile(top, target + kSep + "top.txt");
    };
    const struct {
        const char* what;
        std::function<bool(const std::string&)> copy;
        bool olderCopy;  // the target holds a longer top.txt and a file of its own
    } rows[] = {
        {"a tree into a new folder", tree, false},
        {"a tree over an older copy", tree, true},
        {"one file over a longer one", one, true},
    };
    for (const auto& row : rows) {
        const std::string target = dir / row.what;
        ASSERT_TRUE(CreateFolders(target));
        if (row.olderCopy) {
            WriteFile(target + kSep + "top.txt", "old and longer");
            WriteFile(target + kSep + "extra.txt", "stays");
        }
        EXPECT_TRUE(row.copy(target)) << row.what;
        EXPECT_EQ(ReadFile(target + kSep + "top.txt"), "top") << row.what;
        EXPECT_TRUE(IsWritable(target + kSep + "top.txt")) << row.what;
        EXPECT_FALSE(IsWritable(top)) << row.what;
        if (row.olderCopy) {
            EXPECT_EQ(ReadFile(target + kSep + "extra.txt"), "stays") << row.what;
        } else {
            for (const std::string file : {"a/one.bin", "a/b/deep.txt"}) {
                EXPECT_EQ(ReadFile(Native(target + "/" + file)),
                          ReadFile(Native(source + "/" + file)))
                    << file;
            }
            EXPECT_TRUE(fs::is_directory(target + kSep + "empty"));
        }
    }
    fs::permissions(top, fs::perms::owner_write, fs::perm_options::add);

    // Copies fail at the first file that cannot be copied. A folder where the copy of top.txt
    // should go makes that copy fail.
    ASSERT_TRUE(CreateFolders(dir / "dst" + kSep + "top.txt"));
    EXPECT_FALSE(CopyFolderTree(source, dir / "dst"));
    EXPECT_FALSE(CopyFolderTree(dir / "missing", dir / "dst2"));
    EXPECT_FALSE(CopyOneFile(dir / "missing", dir / "one"));
    EXPECT_FALSE(PathExists(dir / "one"));
    // A folder is no file: the target is refused before it is touched.
    WriteFile(dir / "one", "kept");
    EXPECT_FALSE(CopyOneFile(source, dir / "one"));
    EXPECT_EQ(ReadFile(dir / "one"), "kept");
}

#ifndef _WIN32
int ModeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 0777) : -1;
}

// What is made is its owner's alone whatever the umask; an existing file keeps its mode.
TEST(Modes, NewFilesAndFoldersAreTheOwnersAloneWhateverTheUmask) {
    TempDir dir;
    WriteFile(dir / "source", "x");
    ASSERT_TRUE(CreateFolders(dir / "tree"));
    WriteFile(dir / "tree/copy", "x");
    const mode_t old = umask(0);
    OpenFile(dir / "my.ini", "w+");
    OpenFile(dir / "journal", "ab");
    const bool made = CopyOneFile(dir / "source", dir / "copy") &&
                      CopyFolderTree(dir / "tree", dir / "tree copy") &&
                      CreatePrivateFolder(dir / "private", true) == NewFolder::kCreated &&
                      CreateFolderPath(dir / "x0/y", true);
    umask(0277);
    const bool madeMasked = CreateFolderPath(dir / "x277/y", true);
    umask(old);
    ASSERT_TRUE(made && madeMasked);
    for (const char* name : {"my.ini", "journal", "copy", "tree copy/copy"}) {
        EXPECT_EQ(ModeOf(dir / name), 0600) << name;
    }
    for (const char* name : {"private", "x0/y", "x277/y"}) {
        EXPECT_EQ(ModeOf(dir / name), 0700) << name;
    }
    chmod((dir / "my.ini").c_str(), 0644);
    OpenFile(dir / "my.ini", "w+");
    EXPECT_EQ(ModeOf(dir / "my.ini"), 0644);
}
#endif

// A new private folder never takes over a name that exists. Only a folder of this user that
// nobody else can change counts as the user's own: a journal found in anything else could have
// been written by somebody else.
TEST(PrivateFolders, NeverTakeOverANameAndOnlyARealFolderOfThisUserIsOurs) {
    TempDir dir;
    EXPECT_EQ(ClaimOf(dir / "new"), FolderClaim::kFree);
    ASSERT_EQ(CreatePrivateFolder(dir / "new", true), NewFolder::kCreated);
    EXPECT_EQ(CreatePrivateFolder(dir / "new", true), NewFolder::kTaken);
    EXPECT_EQ(ClaimOf(dir / "new"), FolderClaim::kOurs);
    EXPECT_EQ(ClaimOf(dir / "new" + kSep), FolderClaim::kOurs);
    WriteFile(dir / "file", "x");
    EXPECT_EQ(CreatePrivateFolder(dir / "file", true), NewFolder::kTaken);
    EXPECT_EQ(ReadFile(dir / "file"), "x");
    EXPECT_EQ(ClaimOf(dir / "file"), FolderClaim::kOthers);
    EXPECT_EQ(CreatePrivateFolder(dir / "missing" + kSep + "new", true), NewFolder::kFailed);
#ifdef _WIN32
    EXPECT_TRUE(Attributes(dir / "new") & FILE_ATTRIBUTE_HIDDEN);
#else
    ASSERT_EQ(symlink((dir / "new").c_str(), (dir / "link").c_str()), 0);
    EXPECT_EQ(CreatePrivateFolder(dir / "link", true), NewFolder::kTaken);
    ASSERT_EQ(symlink((dir / "nowhere").c_str(), (dir / "dangling").c_str()), 0);
    EXPECT_EQ(CreatePrivateFolder(dir / "dangling", true), NewFolder::kTaken);
    EXPECT_FALSE(PathExists(dir / "nowhere"));
    // Under Wine a folder of this process keeps this user as its owner whatever is asked: only
    // Linux can show a folder that others may change.
    ASSERT_EQ(CreatePrivateFolder(dir / "theirs", false), NewFolder::kCreated);
    for (const mode_t othersMayChange : {0757, 0775}) {
        chmod((dir / "theirs").c_str(), othersMayChange);
        EXPECT_EQ(ClaimOf(dir / "theirs"), FolderClaim::kOthers) << othersMayChange;
    }
#endif
}

TEST(ListFolder, ReportsFilesFoldersAndLinks) {
    TempDir dir;
    MakeSampleTree(dir.path());
    const bool linked = MakeFolderLink(dir / "a", dir / "link");
    std::vector<FolderEntry> entries;
    ASSERT_TRUE(ListFolder(dir.path(), entries));
    using Kind = FolderEntry::Kind;
    std::map<std::string, Kind> kinds;
    std::map<std::string, Kind> expected{
        {"top.txt", Kind::kFile}, {"a", Kind::kFolder}, {"empty", Kind::kFolder}};
    for (const FolderEntry& e : entries) {
        kinds[e.name] = e.kind;
    }
    if (linked) {
        expected["link"] = Kind::kLink;
    }
    EXPECT_EQ(kinds, expected);
    EXPECT_FALSE(ListFolder(dir / "missing", entries));
}

}  // namespace
