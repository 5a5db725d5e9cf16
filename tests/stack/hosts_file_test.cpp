#include "stack/hosts_file.h"

#include <gtest/gtest.h>

#include "sys/files.h"
#include "sys/folders.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

const std::string kSep(1, kPathSeparator);

#ifdef _WIN32
const std::string kEol = "\r\n";
#else
const std::string kEol = "\n";
#endif

// A hosts file of the test's own, in the shapes real ones come in: mixed line ends, a line
// longer than any small buffer, no line end at the end.
const std::string kOriginal =
    "127.0.0.1 localhost\r\n::1 localhost\n# " + std::string(300, 'c') + "\n10.0.0.1\tintranet";

struct Hosts {
    TempDir dir;
    std::string hosts = dir / "hosts";
    std::string runtime = dir / "Trailhost_1" + kSep;
    Hosts() {
        WriteFile(hosts, kOriginal);
        CreateFolders(runtime);
    }
};

TEST(HostsFile, TheSystemFileIsUnderTheSystemFolder) {
#ifdef _WIN32
    EXPECT_EQ(SystemHostsFilePath(), GetSpecialFolderPath(37) + "\\drivers\\etc\\hosts");
#else
    EXPECT_EQ(SystemHostsFilePath(), "/etc/hosts");
#endif
}

TEST(HostsFile, AppendsTheMarkedBlockAfterSavingTheFile) {
    Hosts h;
    ASSERT_TRUE(AddHostsEntry("myhost", "192.168.1.5", h.runtime, h.hosts));
    EXPECT_EQ(ReadFile(h.hosts), kOriginal + kEol + "#---TRH_START---" + kEol +
                                     "192.168.1.5\tmyhost" + kEol + "#---TRH_END---" + kEol);
    EXPECT_EQ(ReadFile(HostsBackupPath(h.runtime)), kOriginal);
}

TEST(HostsFile, RestoreGivesBackTheFileByteForByte) {
    Hosts h;
    for (int run = 0; run < 3; ++run) {
        ASSERT_TRUE(AddHostsEntry("myhost", "192.168.1.5", h.runtime, h.hosts));
        RestoreHostsFile(h.runtime, h.hosts);
        ASSERT_EQ(ReadFile(h.hosts), kOriginal) << "run " << run;
    }
    // The backup stays in the runtime folder.
    EXPECT_TRUE(PathExists(HostsBackupPath(h.runtime)));
}

TEST(HostsFile, RestoreWithoutABackupChangesNothing) {
    Hosts h;
    WriteFile(h.hosts, "changed");
    RestoreHostsFile(h.runtime, h.hosts);
    EXPECT_EQ(ReadFile(h.hosts), "changed");
}

TEST(HostsFile, AMissingHostsFileOrRuntimeFolderGivesFalse) {
    Hosts h;
    EXPECT_FALSE(AddHostsEntry("myhost", "192.168.1.5", h.runtime, h.dir / "missing"));
    EXPECT_FALSE(PathExists(h.dir / "missing"));
    EXPECT_FALSE(AddHostsEntry("myhost", "192.168.1.5", h.dir / "gone" + kSep, h.hosts));
    EXPECT_EQ(ReadFile(h.hosts), kOriginal);
}

#ifdef _WIN32
TEST(HostsFile, AHostsFileThatCannotBeWrittenGivesFalse) {
    Hosts h;
    // Another program holds the file open for reading only, as security software does.
    const HANDLE holder = CreateFileA(h.hosts.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(AddHostsEntry("myhost", "192.168.1.5", h.runtime, h.hosts));
    CloseHandle(holder);
    EXPECT_EQ(ReadFile(h.hosts), kOriginal);
}
#else
// Gives up the capabilities that let root write any file, for the rest of this process.
void DropFileOverride() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0) {
        return;
    }
    const unsigned mask = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_FOWNER);
    data[0].effective &= ~mask;
    data[0].permitted &= ~mask;
    syscall(SYS_capset, &header, data);
}

TEST(HostsFileDeathTest, AHostsFileThatCannotBeWrittenGivesFalse) {
    Hosts h;
    chmod(h.hosts.c_str(), 0444);
    // Root writes anything; the check runs in a child that has given that up.
    EXPECT_EXIT(
        {
            DropFileOverride();
            const bool added = AddHostsEntry("myhost", "192.168.1.5", h.runtime, h.hosts);
            std::exit(added ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(ReadFile(h.hosts), kOriginal);
}
#endif

}  // namespace
