#include "sys/protected_folders.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "sys/folders.h"
#include "test_support.h"

using testsupport::TempDir;

namespace {

struct Case {
    PathStyle style;
    const char* folder;
    bool isProtected;
};

constexpr PathStyle kWin = PathStyle::kWindows;
constexpr PathStyle kPosix = PathStyle::kPosix;

TEST(ProtectedFolders, RootsWellKnownFoldersAndWhatIsAboveThemAreProtected) {
    const std::vector<std::string> windowsKept = {"C:\\Users\\me",
                                                  "C:\\Users\\me\\Documents",
                                                  "C:\\Windows",
                                                  "C:\\Program Files",
                                                  "C:\\Users\\me\\AppData\\Local\\Temp\\",
                                                  "E:\\stack\\",
                                                  "\\\\server\\share\\sites\\a"};
    const std::vector<std::string> posixKept = {
        "/home/me", "/home/me/Documents", "/usr",
        "/tmp/",    "/media/me/STICK",    "/media/me/STICK/stack"};
    const Case cases[] = {
        // Nothing, relative paths, roots of drives, shares and file systems.
        {kWin, "", true},
        {kWin, "mirror", true},
        {kWin, "C:mirror", true},
        {kWin, "\\mirror", true},
        {kWin, "C:\\", true},
        {kWin, "c:/", true},
        {kWin, "D:\\", true},
        {kWin, "\\\\server\\share", true},
        {kWin, "\\\\server\\share\\", true},
        {kWin, "\\\\server", true},
        {kWin, "\\\\?\\C:\\data\\mirror", true},
        {kWin, "\\\\.\\C:\\data\\mirror", true},
        {kPosix, "", true},
        {kPosix, "mirror", true},
        {kPosix, "/", true},
        {kPosix, "//", true},
        // The well-known folders themselves, in any spelling, and the folders above them.
        {kWin, "C:\\Users\\me", true},
        {kWin, "c:\\USERS\\ME\\", true},
        {kWin, "C:/Users/me/Documents//", true},
        {kWin, "C:\\Users", true},
        {kWin, "C:\\Users\\me\\Documents\\..", true},
        {kWin, "C:\\Users\\me\\x\\..\\..\\", true},
        {kWin, "C:\\Users\\me.", true},
        {kWin, "C:\\Users\\me \\", true},
        {kWin, "C:\\Users\\...", true},
        {kWin, "C:\\Windows\\.\\", true},
        {kWin, "C:\\Program Files", true},
        {kWin, "C:\\Users\\me\\AppData\\Local\\Temp", true},
        {kWin, "C:\\Users\\me\\AppData", true},
        {kWin, "E:\\stack", true},
        {kWin, "E:\\", true},
        {kWin, "\\\\SERVER\\Share\\sites", true},
        {kPosix, "/home/me", true},
        {kPosix, "/home/me/", true},
        {kPosix, "/home", true},
        {kPosix, "/home//me/./Documents", true},
        {kPosix, "/home/me/mirror/..", true},
        {kPosix, "/../../home/me", true},
        {kPosix, "/usr", true},
        {kPosix, "/tmp", true},
        {kPosix, "/media/me", true},
        {kPosix, "/media/me/STICK", true},
        // Below a well-known folder, or beside one, is the configuration's own place.
        {kWin, "C:\\Users\\me\\mirror", false},
        {kWin, "C:\\Users\\me\\Documents\\site db\\", false},
        {kWin, "C:\\Program Files\\Stack\\db", false},
        {kWin, "C:\\Users\\me\\AppData\\Local\\Temp\\Trailhost_12\\", false},
        {kWin, "C:\\Users\\mine", false},
        {kWin, "C:\\Windows2", false},
        {kWin, "E:\\stack\\mirror", false},
        {kWin, "D:\\data\\mirror", false},
        {kWin, "\\\\server\\share\\other", false},
        {kWin, "C:\\Users\\me\\Documents\\..\\mirror", false},
        {kPosix, "/home/me/mirror", false},
        {kPosix, "/home/mel", false},
        {kPosix, "/HOME/me", false},
        {kPosix, "/usr/local/mirror", false},
        {kPosix, "/tmp/Trailhost_12/", false},
        {kPosix, "/media/me/STICK/db", false},
        {kPosix, "/srv/db/...", false},
    };
    for (const Case& c : cases) {
        const std::vector<std::string>& kept = c.style == kWin ? windowsKept : posixKept;
        EXPECT_EQ(IsProtectedFolder(c.folder, kept, c.style), c.isProtected)
            << (c.style == kWin ? "Windows " : "POSIX ") << c.folder;
    }
}

TEST(ProtectedFolders, ThisMachinesOwnFoldersAreProtected) {
    TempDir dir;
    const std::string stack = dir / "stack";
    const std::string sep(1, kPathSeparator);
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
#endif
}

}  // namespace
