#include "sys/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "sys/folders.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#include <aclapi.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

const std::string kSep(1, kPathSeparator);

// Every file below `root` by its relative path, with its bytes; folders end with a separator.
std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string rel = fs::relative(entry.path(), root).generic_string();
        if (entry.is_symlink()) {
            tree[rel] = "<link>";
        } else if (entry.is_directory()) {
            tree[rel + "/"] = "";
        } else {
            tree[rel] = ReadFile(entry.path().string());
        }
    }
    return tree;
}

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

// A user's folder outside the tree being worked on, which links inside the tree point to.
void MakeUserFolder(const std::string& folder) {
    ASSERT_TRUE(CreateFolders(folder));
    WriteFile(folder + kSep + "letter.txt", "keep me");
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

TEST(PathExists, FindsFilesAndFoldersWithOrWithoutTrailingSeparator) {
    TempDir dir;
    WriteFile(dir / "file.txt", "x");
    EXPECT_TRUE(PathExists(dir / "file.txt"));
    EXPECT_TRUE(PathExists(dir.path()));
    const std::string withoutSeparator = dir.path().substr(0, dir.path().size() - 1);
    EXPECT_TRUE(PathExists(withoutSeparator));
    EXPECT_FALSE(PathExists(dir / "missing"));
    EXPECT_FALSE(PathExists(dir / "missing" + kSep));
    EXPECT_FALSE(PathExists(""));
}

TEST(CreateFolderPath, MakesMissingParentsWithinTenAttempts) {
    TempDir dir;
    // Five missing levels need nine attempts.
    const std::string five = dir / "1" + kSep + "2" + kSep + "3" + kSep + "4" + kSep + "5";
    EXPECT_TRUE(CreateFolderPath(five, false));
    EXPECT_TRUE(fs::is_directory(five));
    // Already there: one attempt.
    EXPECT_TRUE(CreateFolderPath(five, false));
    // A trailing separator is accepted.
    EXPECT_TRUE(CreateFolderPath(dir / "t" + kSep, false));
    EXPECT_TRUE(fs::is_directory(dir / "t"));
}

TEST(CreateFolderPath, GivesUpAfterTenAttempts) {
    TempDir dir;
    std::string path = dir.path() + "deep";
    for (int level = 1; level <= 10; ++level) {
        path += kSep + std::to_string(level);
    }
    EXPECT_FALSE(CreateFolderPath(path, false));
    EXPECT_FALSE(PathExists(path));

    // Six missing levels need eleven attempts.
    const std::string six =
        dir / "a" + kSep + "b" + kSep + "c" + kSep + "d" + kSep + "e" + kSep + "f";
    EXPECT_FALSE(CreateFolderPath(six, false));
    EXPECT_FALSE(PathExists(six));
}

TEST(CreateFolderPath, FailsWhenAFileIsInTheWay) {
    TempDir dir;
    WriteFile(dir / "file", "x");
    EXPECT_FALSE(CreateFolderPath(dir / "file" + kSep + "sub", false));
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
#else
TEST(CreateFolderPath, NewFoldersAreTheOwnersAloneWhateverTheUmask) {
    TempDir dir;
    for (const mode_t mask : {0000, 0277}) {
        const std::string folder = dir / ("x" + std::to_string(mask)) + kSep + "y";
        const mode_t old = umask(mask);
        const bool made = CreateFolderPath(folder, true);
        umask(old);
        ASSERT_TRUE(made);
        struct stat st {};
        ASSERT_EQ(stat(folder.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << "umask " << mask;
    }
}
#endif

TEST(CreateFolders, MakesAnyDepth) {
    TempDir dir;
    std::string path = dir.path() + "d";
    for (int level = 0; level < 12; ++level) {
        path += kSep + std::to_string(level);
    }
    EXPECT_TRUE(CreateFolders(path));
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_TRUE(CreateFolders(path));
}

TEST(DeleteFolderTree, RemovesTheWholeTreeWithWriteProtectedParts) {
    TempDir dir;
    const std::string root = dir / "tree" + kSep;
    MakeSampleTree(root);
#ifdef _WIN32
    SetFileAttributesA((root + "top.txt").c_str(), FILE_ATTRIBUTE_READONLY);
#else
    chmod((root + "a" + kSep + "b").c_str(), 0555);
    chmod((root + "a").c_str(), 0);
#endif
    EXPECT_TRUE(DeleteFolderTree(root));
    EXPECT_FALSE(PathExists(root));
    EXPECT_TRUE(PathExists(dir.path()));
}

TEST(DeleteFolderTree, RemovesAnEmptyFolderAndRefusesAMissingOne) {
    TempDir dir;
    ASSERT_TRUE(CreateFolders(dir / "empty"));
    EXPECT_TRUE(DeleteFolderTree(dir / "empty"));
    EXPECT_FALSE(PathExists(dir / "empty"));
    EXPECT_FALSE(DeleteFolderTree(dir / "empty"));
}

TEST(DeleteFolderTree, NeverEntersALinkToAFolderOutsideTheTree) {
    TempDir dir;
    const std::string user = dir / "user";
    MakeUserFolder(user);
    const std::string root = dir / "runtime";
    MakeSampleTree(root + kSep);
    if (!MakeFolderLink(user, root + kSep + "a" + kSep + "link")) {
        GTEST_SKIP() << "this system cannot make folder links";
    }
    DeleteFolderTree(root);
    EXPECT_EQ(ReadFile(user + kSep + "letter.txt"), "keep me");
#ifndef _WIN32
    // Wine cannot remove a Unix link through the Win32 calls; Linux and Windows do.
    EXPECT_FALSE(PathExists(root));
#endif
}

#ifndef _WIN32
TEST(DeleteFolderTree, ALinkGivenAsTheFolderGoesAsALink) {
    TempDir dir;
    const std::string user = dir / "user";
    MakeUserFolder(user);
    ASSERT_TRUE(MakeFolderLink(user, dir / "link"));
    EXPECT_TRUE(DeleteFolderTree(dir / "link" + kSep));
    EXPECT_FALSE(PathExists(dir / "link"));
    EXPECT_EQ(ReadFile(user + kSep + "letter.txt"), "keep me");
}
#endif

TEST(CopyFolderTree, CopiesEveryFileAndFolderByteForByte) {
    TempDir dir;
    const std::string source = dir / "src" + kSep;
    MakeSampleTree(source);
    EXPECT_TRUE(CopyFolderTree(source, dir / "dst"));
    EXPECT_EQ(Snapshot(dir / "dst"), Snapshot(source));
}

TEST(CopyFolderTree, OverwritesAndLeavesWritableCopies) {
    TempDir dir;
    const std::string source = dir / "src";
    MakeSampleTree(source + kSep);
    ASSERT_TRUE(CreateFolders(dir / "dst"));
    WriteFile(dir / "dst" + kSep + "top.txt", "old and longer");
    WriteFile(dir / "dst" + kSep + "extra.txt", "stays");
#ifdef _WIN32
    SetFileAttributesA((source + kSep + "top.txt").c_str(), FILE_ATTRIBUTE_READONLY);
#else
    chmod((source + kSep + "top.txt").c_str(), 0444);
#endif
    EXPECT_TRUE(CopyFolderTree(source, dir / "dst"));
    EXPECT_EQ(ReadFile(dir / "dst" + kSep + "top.txt"), "top");
    EXPECT_EQ(ReadFile(dir / "dst" + kSep + "extra.txt"), "stays");
#ifdef _WIN32
    EXPECT_FALSE(Attributes(dir / "dst" + kSep + "top.txt") & FILE_ATTRIBUTE_READONLY);
    // The source is the site's medium: it is read, never changed, not even its attributes.
    EXPECT_TRUE(Attributes(source + kSep + "top.txt") & FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA((source + kSep + "top.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
#else
    struct stat st {};
    ASSERT_EQ(stat((dir / "dst" + kSep + "top.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(stat((source + kSep + "top.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
#endif
}

TEST(CopyFolderTree, StopsAtTheFirstFileThatCannotBeCopied) {
    TempDir dir;
    const std::string source = dir / "src";
    MakeSampleTree(source + kSep);
    // A folder where the copy of top.txt should go makes that copy fail.
    ASSERT_TRUE(CreateFolders(dir / "dst" + kSep + "top.txt"));
    EXPECT_FALSE(CopyFolderTree(source, dir / "dst"));
    EXPECT_FALSE(CopyFolderTree(dir / "missing", dir / "dst2"));
}

TEST(CopyFolderTree, NeitherCopiesNorFollowsLinks) {
    TempDir dir;
    const std::string user = dir / "user";
    MakeUserFolder(user);
    const std::string source = dir / "src";
    MakeSampleTree(source + kSep);
    if (!MakeFolderLink(user, source + kSep + "link")) {
        GTEST_SKIP() << "this system cannot make folder links";
    }
    EXPECT_TRUE(CopyFolderTree(source, dir / "dst"));
    EXPECT_FALSE(PathExists(dir / "dst" + kSep + "link"));
    EXPECT_TRUE(PathExists(dir / "dst" + kSep + "a" + kSep + "b" + kSep + "deep.txt"));
}

TEST(CopyOneFile, ReplacesTheTarget) {
    TempDir dir;
    WriteFile(dir / "a", "new");
    WriteFile(dir / "b", "older and longer");
    EXPECT_TRUE(CopyOneFile(dir / "a", dir / "b"));
    EXPECT_EQ(ReadFile(dir / "b"), "new");
    EXPECT_FALSE(CopyOneFile(dir / "missing", dir / "c"));
    EXPECT_FALSE(PathExists(dir / "c"));
}

#ifndef _WIN32
TEST(OpenFile, NewFilesAreTheOwnersAloneWhateverTheUmask) {
    TempDir dir;
    const mode_t old = umask(0);
    { UniqueFile file = OpenFile(dir / "my.ini", "w+"); }
    { UniqueFile file = OpenFile(dir / "journal", "ab"); }
    WriteFile(dir / "source", "x");
    ASSERT_TRUE(CopyOneFile(dir / "source", dir / "copy"));
    umask(old);
    for (const char* name : {"my.ini", "journal", "copy"}) {
        struct stat st {};
        ASSERT_EQ(stat((dir / name).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u) << name;
    }

    // An existing file keeps its mode.
    chmod((dir / "my.ini").c_str(), 0644);
    { UniqueFile file = OpenFile(dir / "my.ini", "w+"); }
    struct stat st {};
    ASSERT_EQ(stat((dir / "my.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}
#endif

// Only a folder of this user that nobody else can change counts as the user's own: a journal
// found in anything else could have been written by somebody else.
TEST(ClaimOf, OnlyARealFolderOfThisUserIsOurs) {
    TempDir dir;
    EXPECT_EQ(ClaimOf(dir / "missing"), FolderClaim::kFree);
    ASSERT_EQ(CreatePrivateFolder(dir / "made", false), NewFolder::kCreated);
    EXPECT_EQ(ClaimOf(dir / "made"), FolderClaim::kOurs);
    EXPECT_EQ(ClaimOf(dir / "made" + kSep), FolderClaim::kOurs);
    WriteFile(dir / "file", "x");
    EXPECT_EQ(ClaimOf(dir / "file"), FolderClaim::kOthers);
    ASSERT_EQ(CreatePrivateFolder(dir / "theirs", false), NewFolder::kCreated);
#ifdef _WIN32
    // Owned by the system account, as a folder another user made would be by that user.
    PSID system = nullptr;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    ASSERT_TRUE(
        AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system));
    std::string theirs = dir / "theirs";
    SetNamedSecurityInfoA(&theirs[0], SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, system, nullptr,
                          nullptr, nullptr);
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const bool changed =
        GetNamedSecurityInfoA(theirs.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                              nullptr, nullptr, nullptr, &descriptor) == ERROR_SUCCESS &&
        EqualSid(owner, system);
    LocalFree(descriptor);
    FreeSid(system);
    if (!changed) {
        // Wine answers every owner change with success and keeps the user as the owner.
        GTEST_SKIP() << "this system keeps no other owner for a folder of this process";
    }
#else
    chmod((dir / "theirs").c_str(), 0757);
#endif
    EXPECT_EQ(ClaimOf(dir / "theirs"), FolderClaim::kOthers);
}

TEST(CreatePrivateFolder, NeverTakesOverANameThatExists) {
    TempDir dir;
    ASSERT_EQ(CreatePrivateFolder(dir / "new", true), NewFolder::kCreated);
    EXPECT_EQ(CreatePrivateFolder(dir / "new", true), NewFolder::kTaken);
    WriteFile(dir / "file", "x");
    EXPECT_EQ(CreatePrivateFolder(dir / "file", true), NewFolder::kTaken);
    EXPECT_EQ(ReadFile(dir / "file"), "x");
    EXPECT_EQ(CreatePrivateFolder(dir / "missing" + kSep + "new", true), NewFolder::kFailed);
#ifdef _WIN32
    EXPECT_TRUE(Attributes(dir / "new") & FILE_ATTRIBUTE_HIDDEN);
#else
    ASSERT_EQ(symlink((dir / "new").c_str(), (dir / "link").c_str()), 0);
    EXPECT_EQ(CreatePrivateFolder(dir / "link", true), NewFolder::kTaken);
    ASSERT_EQ(symlink((dir / "nowhere").c_str(), (dir / "dangling").c_str()), 0);
    EXPECT_EQ(CreatePrivateFolder(dir / "dangling", true), NewFolder::kTaken);
    EXPECT_FALSE(PathExists(dir / "nowhere"));
    const mode_t old = umask(0);
    ASSERT_EQ(CreatePrivateFolder(dir / "open", true), NewFolder::kCreated);
    umask(old);
    struct stat st {};
    ASSERT_EQ(stat((dir / "open").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
#endif
}

TEST(ListFolder, ReportsFilesFoldersAndLinks) {
    TempDir dir;
    MakeSampleTree(dir.path());
    const bool linked = MakeFolderLink(dir / "a", dir / "link");
    std::vector<FolderEntry> entries;
    ASSERT_TRUE(ListFolder(dir.path(), entries));
    std::map<std::string, FolderEntry::Kind> kinds;
    for (const FolderEntry& e : entries) {
        kinds[e.name] = e.kind;
    }
    EXPECT_EQ(kinds["top.txt"], FolderEntry::Kind::kFile);
    EXPECT_EQ(kinds["a"], FolderEntry::Kind::kFolder);
    EXPECT_EQ(kinds["empty"], FolderEntry::Kind::kFolder);
    EXPECT_EQ(kinds.size(), linked ? 4u : 3u);
    if (linked) {
        EXPECT_EQ(kinds["link"], FolderEntry::Kind::kLink);
    }
    EXPECT_FALSE(ListFolder(dir / "missing", entries));
}

TEST(MediaDevice, NoDeviceForAFolderOnAFixedDisk) {
    TempDir dir;
    std::unique_ptr<MediaDevice> device = MediaDevice::ForFolder(dir.path());
    EXPECT_EQ(device, nullptr);
    // Both calls accept the missing device.
    LockMedia(device.get());
    UnlockMedia(device.get());
}

}  // namespace
