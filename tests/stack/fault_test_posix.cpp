// Linux only: faults made with mounts of the test's own (a full temporary folder, a full disk
// under the hosts file or the site) and the immutable attribute, which hold for root too.
#include <gtest/gtest.h>

#include "fault_run.h"

using testsupport::FaultBackup;
using testsupport::FaultHostsFile;
using testsupport::FaultTempFolder;
using testsupport::Immutable;
using testsupport::ReadFile;
using testsupport::SmallDisk;
using testsupport::TraceCapture;
using testsupport::TreeFingerprint;
using testsupport::WriteFile;

namespace {

constexpr char kNoMounts[] = "no mounts of the test's own here (they need root)";

// The runtime folder can be made, but nothing can be written into it.
TEST_F(FaultTempFolder, AFullTemporaryFolderLeavesTheRunToWhatExists) {
    SmallDisk disk(layout_.TempFolder(), 64);
    if (!disk.ok()) {
        GTEST_SKIP() << kNoMounts;
    }
    ASSERT_TRUE(disk.Fill());
    RunWithUnusableTemp(layout_.TempFolder(), false);
}

TEST_F(FaultTempFolder, AFullTemporaryFolderLeavesTheEncryptedDatabasePacked) {
    SmallDisk disk(layout_.TempFolder(), 64);
    if (!disk.ok()) {
        GTEST_SKIP() << kNoMounts;
    }
    ASSERT_TRUE(disk.Fill());
    RunWithUnusableTemp(layout_.TempFolder(), true);
}

// The hosts file ends a few bytes before the end of its last block on a full disk: the start of
// the entry fits, the rest does not.
TEST_F(FaultHostsFile, AHostsFileOnAFullDiskGetsNoPartOfTheEntry) {
    SmallDisk disk(layout_.Root() + "etc", 16);
    if (!disk.ok()) {
        GTEST_SKIP() << kNoMounts;
    }
    std::string hosts = "127.0.0.1\tlocalhost\n";
    hosts += std::string(4088 - hosts.size() - 1, '#') + "\n";
    WriteFile(layout_.HostsPath(), hosts);
    ASSERT_TRUE(disk.Fill());
    RunWithoutHostsEntry();
    EXPECT_EQ(ReadFile(layout_.HostsPath()), hosts);
}

// The site's folder takes no new file, the site file itself could be written.
TEST_F(FaultBackup, AFolderThatTakesNoNewFileKeepsTheFileAsItIs) {
    Immutable frozen(Stack() + "htdocs");
    if (!frozen.ok()) {
        GTEST_SKIP() << "this file system has no immutable attribute";
    }
    ASSERT_NE(OpenFile(Site(), "r+"), nullptr);
    AppSettings settings = RunSettings();
    MakeState(layout_.Places({}, {}));
    const std::string before = TreeFingerprint(Stack());
    TraceCapture trace;

    ASSERT_EQ(Start(settings), StartResult::kDone);
    EXPECT_TRUE(Traced(trace, "Apache connected"));
    EXPECT_TRUE(Traced(trace, "Additional file not expanded, no backup made: " + Site()));
    EXPECT_EQ(ReadFile(Site()), kSiteText);

    StopAndExpectNothingLeft(settings);
    EXPECT_EQ(TreeFingerprint(Stack()), before);
}

// A full stick: the backup breaks off, and what it left must not come back over the file.
TEST_F(FaultBackup, AFullMediumLosesNoFileForWantOfABackup) {
    SmallDisk disk(Stack() + "htdocs", 32);
    if (!disk.ok()) {
        GTEST_SKIP() << kNoMounts;
    }
    const std::string original = kSiteText + std::string(6000, ';') + "\n";
    WriteFile(Site(), original);
    ASSERT_TRUE(disk.Fill());
    AppSettings settings = RunSettings();
    MakeState(layout_.Places({}, {}));
    TraceCapture trace;

    ASSERT_EQ(Start(settings), StartResult::kDone);
    EXPECT_TRUE(Traced(trace, "Additional file not expanded, no backup made: " + Site()));
    EXPECT_FALSE(PathExists(Site() + ".bak"));
    EXPECT_EQ(ReadFile(Site()), original);

    StopAndExpectNothingLeft(settings);
    EXPECT_EQ(ReadFile(Site()), original);
    EXPECT_FALSE(PathExists(Site() + ".bak"));
}

}  // namespace
