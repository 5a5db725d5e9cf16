#include "sys/protected_folders.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "sys/folders.h"
#include "test_support.h"

#ifndef _WIN32
#include "fault_support.h"
#endif

using testsupport::TempDir;

namespace {

TEST(ProtectedFolders, RootsWellKnownFoldersAndWhatIsAboveThemAreProtected) {
    const struct {
        PathStyle style;
        std::vector<std::string> kept;  // the well-known folders
        std::vector<const char*> protectedOnes;
        std::vector<const char*> freeOnes;
    } styles[] = {
        {PathStyle::kWindows,
         {"C:\\Users\\me", "C:\\Users\\me\\Documents", "C:\\Windows", "C:\\Program Files",
          "C:\\Users\\me\\AppData\\Local\\Temp\\", "E:\\stack\\", "\\\\server\\share\\sites\\a"},
         // Nothing, relative paths, roots of drives and shares, then
         {"", "mirror", "C:mirror", "\\mirror", "C:\\", "c:/", "D:\\", "\\\\server\\share",
          "\\\\server\\share\\", "\\\\server", "\\\\?\\C:\\data\\mirror", "\\\\.\\C:\\data\\mirror",
          // the well-known folders themselves, in any spelling, and the folders above them.
          "C:\\Users\\me", "c:\\USERS\\ME\\", "C:/Users/me/Documents//", "C:\\Users",
          "C:\\Users\\me\\Documents\\..", "C:\\Users\\me\\x\\..\\..\\", "C:\\Users\\me.",
          "C:\\Users\\me \\", "C:\\Users\\...", "C:\\Windows\\.\\", "C:\\Program Files",
          "C:\\Users\\me\\AppData\\Local\\Temp", "C:\\Users\\me\\AppData", "E:\\stack", "E:\\",
          "\\\\SERVER\\Share\\sites"},
         // Below a well-known folder, or beside one, is the configuration's own place.
         {"C:\\Users\\me\\mirror", "C:\\Users\\me\\Documents\\site db\\",
          "C:\\Program Files\\Stack\\db", "C:\\Users\\me\\AppData\\Local\\Temp\\Trailhost_12\\",
          "C:\\Users\\mine", "C:\\Windows2", "E:\\stack\\mirror", "D:\\data\\mirror",
          "\\\\server\\share\\other", "C:\\Users\\me\\Documents\\..\\mirror"}},
        {PathStyle::kPosix,
         {"/home/me", "/home/me/Documents", "/usr", "/tmp/", "/media/me/STICK",
          "/media/me/STICK/stack"},
         {"", "mirror", "/", "//", "/home/me", "/home/me/", "/home", "/home//me/./Documents",
          "/home/me/mirror/..", "/../../home/me", "/usr", "/tmp", "/media/me", "/media/me/STICK"},
         {"/home/me/mirror", "/home/mel", "/HOME/me", "/usr/local/mirror", "/tmp/Trailhost_12/",
          "/media/me/STICK/db", "/srv/db/..."}},
    };
    for (const auto& s : styles) {
        SCOPED_TRACE(s.style == PathStyle::kWindows ? "Windows" : "POSIX");
        for (const char* folder : s.protectedOnes) {
            EXPECT_TRUE(IsProtectedFolder(folder, s.kept, s.style)) << folder;
        }
        for (const char* folder : s.freeOnes) {
            EXPECT_FALSE(IsProtectedFolder(folder, s.kept, s.style)) << folder;
        }
    }
}

TEST(ProtectedFolders, ThisMachinesOwnFoldersAreProtected) {
    TempDir dir;
    const std::string stack = dir / "stack";
    const std::string sep(1, kPathSeparator);
    // A temporary folder of the user's choice, which no other rule protects.
    std::filesystem::create_directories(dir / "temp");
    const testsupport::ScopedEnv tmp(sep == "/" ? "TMPDIR" : "TMP", dir / "temp");
    for (const std::string& folder :
         {GetTempFolder(), GetModuleFolder(), stack, stack + sep, dir.path(),
          GetSpecialFolderPath(kCsidlPersonal), GetSpecialFolderPath(kCsidlAppData)}) {
        if (!folder.empty()) {
            EXPECT_TRUE(IsProtectedOnThisMachine(folder, stack)) << folder;
        }
    }
    EXPECT_FALSE(IsProtectedOnThisMachine(dir / "mirror", stack));
    EXPECT_FALSE(IsProtectedOnThisMachine(stack + sep + "mirror" + sep, stack));
#ifdef _WIN32
    EXPECT_TRUE(IsProtectedOnThisMachine(GetSpecialFolderPath(kCsidlWindows), stack));
    EXPECT_TRUE(IsProtectedOnThisMachine(GetSpecialFolderPath(kCsidlProgramFiles), stack));
    // Also by its short name.
    char shortForm[MAX_PATH] = "";
    ASSERT_NE(
        GetShortPathNameA(GetSpecialFolderPath(kCsidlProgramFiles).c_str(), shortForm, MAX_PATH),
        0u);
    EXPECT_NE(shortForm, GetSpecialFolderPath(kCsidlProgramFiles));
    EXPECT_TRUE(IsProtectedOnThisMachine(shortForm, stack)) << shortForm;
#else
    EXPECT_TRUE(IsProtectedOnThisMachine("/usr", stack));
    EXPECT_TRUE(IsProtectedOnThisMachine("/etc/", stack));
    // A link that leads to the stack's folder is judged by where it leads.
    std::filesystem::create_directories(stack);
    std::filesystem::create_directories(dir / "plain");
    std::filesystem::create_directory_symlink(stack, dir / "to-stack");
    std::filesystem::create_directory_symlink(dir / "plain", dir / "to-plain");
    EXPECT_TRUE(IsProtectedOnThisMachine(dir / "to-stack", stack));
    EXPECT_FALSE(IsProtectedOnThisMachine(dir / "to-plain", stack));
    // A mount point, also one whose name the mount table escapes (a stick's label with a blank).
    const std::string stick = testsupport::MadeFolder(dir / "My Stick\\1");
    const testsupport::SmallDisk mounted(stick, 64);
    if (mounted.ok()) {
        EXPECT_TRUE(IsProtectedOnThisMachine(stick, stack)) << stick;
    }
#endif
}

}  // namespace
