#include "stack/protected_folder.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

namespace {

struct FolderCase {
    const char* folder;
    bool protectedFolder;
};

}  // namespace

TEST(ProtectedFolder, RootsProtectedFoldersAndWhatHoldsThemAreProtected) {
#ifdef _WIN32
    const std::vector<std::string> kept = {"C:\\Users\\ann", "C:\\Users\\ann\\Documents",
                                           "C:\\Windows", "E:\\stack\\", "\\\\server\\share\\site"};
    const FolderCase cases[] = {
        {"C:\\Users\\ann\\AppData\\Local\\Temp\\mirror", false},
        {"C:\\Users\\ann\\Documents\\site-db", false},
        {"D:\\data\\mirror\\", false},
        {"\\\\server\\share\\other", false},
        {"C:\\Users\\ann", true},
        {"c:/users/ANN/", true},                   // the other separator and letter case
        {"C:\\Users", true},                       // above a protected folder
        {"C:\\Users\\ann\\Documents\\..", true},   // ".." leads to the home folder
        {"C:\\Users\\.\\ann\\\\Documents", true},  // "." and doubled separators
        {"C:\\Windows\\..\\Users\\ann\\x\\..", true},
        {"E:\\stack", true},          // the stack itself
        {"E:\\", true},               // a drive's root
        {"C:\\..\\..", true},         // nothing above the root
        {"\\\\server\\share", true},  // a network share's root
        {"\\\\server\\SHARE\\site\\", true},
        {"\\\\?\\C:\\data", true},  // device paths are not compared
        {"data\\mirror", true},     // not absolute
        {"C:data", true},           // relative to a drive's own folder
        {"\\data", true},           // no drive
        {"", true},
    };
#else
    const std::vector<std::string> kept = {"/home/ann", "/home/ann/Documents", "/usr",
                                           "/media/ann/STICK/stack/", "relative/ignored"};
    const FolderCase cases[] = {
        {"/tmp/mirror", false},
        {"/home/ann/Documents/site-db", false},
        {"/var/lib/site/mirror/", false},
        {"/home/ann2", false},  // a name that only begins the same
        {"/relative", false},
        {"/home/ann", true},
        {"/home/ann/", true},
        {"/home", true},  // above a protected folder
        {"/home/ann/Documents/..", true},
        {"/home/./ann//Documents", true},
        {"/usr/../home/ann/x/..", true},
        {"/media/ann/STICK", true},         // holds the stack
        {"/media/ann/stick/stack", false},  // letter case counts here
        {"/", true},
        {"/..", true},
        {"mirror", true},  // not absolute
        {"", true},
    };
#endif
    for (const FolderCase& c : cases) {
        EXPECT_EQ(IsProtectedFolder(c.folder, kept), c.protectedFolder) << c.folder;
    }
    // With no protected folders only roots and what cannot be placed are.
    EXPECT_FALSE(IsProtectedFolder(cases[0].folder, {}));
    EXPECT_TRUE(IsProtectedFolder(cases[std::size(cases) - 1].folder, {}));
}
