#include "sys/folders.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

// The launcher finds its configuration beside its executable, and joins names to the temporary
// folder; folder values from the configuration use the platform's separators.
TEST(Folders, ModuleAndTempFoldersEndWithASeparator) {
    EXPECT_EQ(GetModuleFolder(), testsupport::TestBinFolder());
    const std::string temp = GetTempFolder();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), kPathSeparator) << temp;
#ifdef _WIN32
    for (int csidl :
         {kCsidlPersonal, kCsidlAppData, kCsidlWindows, kCsidlSystem, kCsidlProgramFiles}) {
        const std::string path = GetSpecialFolderPath(csidl);
        ASSERT_FALSE(path.empty()) << csidl;
        EXPECT_NE(path.back(), '\\') << path;
    }
#else
    EXPECT_EQ(NativeSeparators("a/b\\c\\"), "a/b/c/");
#endif
}

#ifndef _WIN32
// TMPDIR, HOME and the user's XDG folder settings, each put back at the end.
TEST(Folders, TempAndDocumentsFoldersFollowTheUsersSettings) {
    testsupport::TempDir config;
    {
        testsupport::ScopedEnv tmp("TMPDIR", "/var/tmp");
        EXPECT_EQ(GetTempFolder(), "/var/tmp/");
    }
    testsupport::ScopedEnv tmp("TMPDIR", std::nullopt);
    EXPECT_EQ(GetTempFolder(), "/tmp/");

    testsupport::ScopedEnv home("HOME", "/home/someone");
    testsupport::ScopedEnv xdg("XDG_CONFIG_HOME", config.path());
    EXPECT_EQ(GetSpecialFolderPath(kCsidlPersonal), "/home/someone/Documents");
    testsupport::WriteFile(config / "user-dirs.dirs",
                           "# comment\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    EXPECT_EQ(GetSpecialFolderPath(kCsidlPersonal), "/home/someone/Dokumente");
    EXPECT_EQ(GetSpecialFolderPath(kCsidlAppData), "/home/someone");
    EXPECT_EQ(GetSpecialFolderPath(kCsidlProgramFiles), "/usr");
    EXPECT_EQ(GetSpecialFolderPath(99), "");
}
#endif

}  // namespace
