#include "sys/folders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "test_support.h"

namespace {

bool EndsWithSeparator(const std::string& path) {
    return !path.empty() && path.back() == kPathSeparator;
}

TEST(Folders, ModuleFolderIsTheExecutablesFolderWithSeparator) {
    const std::string folder = GetModuleFolder();
    EXPECT_TRUE(EndsWithSeparator(folder)) << folder;
    EXPECT_EQ(folder, testsupport::TestBinFolder());
}

TEST(Folders, TempFolderEndsWithSeparator) {
    EXPECT_TRUE(EndsWithSeparator(GetTempFolder())) << GetTempFolder();
}

TEST(Folders, SeparatorsFollowThePlatform) {
#ifdef _WIN32
    EXPECT_EQ(NativeSeparators("server\\Apache\\Apache.exe"), "server\\Apache\\Apache.exe");
#else
    EXPECT_EQ(NativeSeparators("server\\Apache\\Apache"), "server/Apache/Apache");
    EXPECT_EQ(NativeSeparators("a/b\\c\\"), "a/b/c/");
#endif
}

TEST(Folders, LocalAddressIsDottedQuadOrEmpty) {
    const std::string first = GetLocalIpAddress(0);
    if (!first.empty()) {
        EXPECT_TRUE(std::regex_match(first, std::regex(R"(\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3})")))
            << first;
    }
    EXPECT_EQ(GetLocalIpAddress(1000), "");
}

#ifdef _WIN32
TEST(Folders, ShellFoldersHaveNoTrailingSeparator) {
    for (int csidl : {5, 26, 36, 37, 38}) {
        const std::string path = GetSpecialFolderPath(csidl);
        ASSERT_FALSE(path.empty()) << csidl;
        EXPECT_NE(path.back(), '\\') << path;
    }
}
#else
TEST(Folders, TempFolderFollowsTmpdir) {
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old != nullptr ? old : "";
    setenv("TMPDIR", "/var/tmp", 1);
    EXPECT_EQ(GetTempFolder(), "/var/tmp/");
    setenv("TMPDIR", "", 1);
    EXPECT_EQ(GetTempFolder(), "/tmp/");
    if (old != nullptr) {
        setenv("TMPDIR", saved.c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
}

TEST(Folders, DocumentsFolderComesFromUserDirs) {
    testsupport::TempDir home;
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome != nullptr ? oldHome : "";
    const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string savedConfig = oldConfig != nullptr ? oldConfig : "";
    setenv("HOME", "/home/someone", 1);
    setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);

    EXPECT_EQ(GetSpecialFolderPath(kCsidlPersonal), "/home/someone/Documents");
    testsupport::WriteFile(home / "user-dirs.dirs",
                           "# comment\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    EXPECT_EQ(GetSpecialFolderPath(kCsidlPersonal), "/home/someone/Dokumente");
    EXPECT_EQ(GetSpecialFolderPath(kCsidlAppData), "/home/someone");
    EXPECT_EQ(GetSpecialFolderPath(kCsidlProgramFiles), "/usr");
    EXPECT_EQ(GetSpecialFolderPath(99), "");

    setenv("HOME", savedHome.c_str(), 1);
    if (oldConfig != nullptr) {
        setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
}
#endif

}  // namespace
