#include "stack/hosts_file.h"

#include <gtest/gtest.h>

#include "fault_support.h"
#include "stack_layout.h"
#include "sys/files.h"

#ifdef _WIN32
#include "sys/handles_win32.h"
#else
#include <sys/stat.h>
#endif

using namespace testsupport;

namespace {

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

// Only a valid line is written, after the file is saved; a second block of the same host is
// written too (another run of the site).
TEST(HostsFile, AddingAppendsTheMarkedBlockAfterSavingTheFile) {
    const std::string sameHost = kOriginal + HostsBlock("myhost");
    const struct {
        const char* what;
        std::string host, address, before;
        bool added;
    } rows[] = {
        {"a valid entry", "myhost", "192.168.1.5", kOriginal, true},
        {"a second block of the host", "myhost", "192.168.1.5", sameHost, true},
        {"no address", "site", "", kOriginal, false},
        {"an address with a blank", "site", "10.0.0.1 x", kOriginal, false},
        {"an address with a line end", "site", "10.0.0.1\n", kOriginal, false},
        {"no host", "", "10.0.0.1", kOriginal, false},
        {"a host with a blank", "site other", "10.0.0.1", kOriginal, false},
        {"a host with a comment", "site#x", "10.0.0.1", kOriginal, false},
    };
    for (const auto& row : rows) {
        Hosts h;
        WriteFile(h.hosts, row.before);
        EXPECT_EQ(AddHostsEntry(row.host, row.address, h.runtime, h.hosts), row.added) << row.what;
        EXPECT_EQ(ReadFile(h.hosts), row.added ? row.before + HostsBlock(row.host) : row.before)
            << row.what;
        EXPECT_EQ(ReadFile(HostsBackupPath(h.runtime)), row.added ? row.before : "") << row.what;
    }
}

TEST(HostsFile, AMissingHostsFileOrRuntimeFolderGivesFalse) {
    Hosts h;
    EXPECT_FALSE(AddHostsEntry("myhost", "192.168.1.5", h.runtime, h.dir / "missing"));
    EXPECT_FALSE(PathExists(h.dir / "missing"));
    EXPECT_FALSE(AddHostsEntry("myhost", "192.168.1.5", h.dir / "gone" + kSep, h.hosts));
    EXPECT_EQ(ReadFile(h.hosts), kOriginal);
    EXPECT_EQ(RemoveHostsEntry("myhost", "192.168.1.5", h.dir / "missing"),
              HostsRemoval::kNotThere);
}

// Others write to the hosts file while a run lasts: the user, other programs, other launchers
// of other sites or of the same one. Each run takes out one block of its own, the last one, with
// the line end that came with it, and nothing else.
TEST(HostsFile, RemovalTakesOutOnlyTheRunsOwnBlock) {
    const std::string a = HostsBlock("a.test");
    const std::string b = HostsBlock("b.test");
    const std::string later = "10.0.0.9\tadded.later" + kEol;
    // Blocks of another system's line ends, as a hosts file shared between systems holds them.
    const std::string crlf = HostsBlock("c.test", "127.0.0.1", "\r\n");
    const struct {
        const char* what;
        std::string before, host, address;
        HostsRemoval result;
        std::string after;
    } rows[] = {
        {"a file without a last line end", kOriginal + a, "a.test", "192.168.1.5",
         HostsRemoval::kRemoved, kOriginal},
        {"a file with a last line end", kOriginal + "\n" + a, "a.test", "192.168.1.5",
         HostsRemoval::kRemoved, kOriginal + "\n"},
        {"an empty file", a, "a.test", "192.168.1.5", HostsRemoval::kRemoved, ""},
        {"no block", kOriginal, "a.test", "192.168.1.5", HostsRemoval::kNotThere, kOriginal},
        {"the last of two, later lines kept", kOriginal + a + b + a + later, "a.test",
         "192.168.1.5", HostsRemoval::kRemoved, kOriginal + a + b + later},
        {"the first, after the last went", kOriginal + a + b + later, "a.test", "192.168.1.5",
         HostsRemoval::kRemoved, kOriginal + kEol + b + later},
        {"another address is another run's", kOriginal + a, "a.test", "10.1.1.1",
         HostsRemoval::kNotThere, kOriginal + a},
        {"a journal without an address, any address", kOriginal + b + later, "b.test", "",
         HostsRemoval::kRemoved, kOriginal + kEol + later},
        {"other line ends", kOriginal + crlf + crlf + later, "c.test", "127.0.0.1",
         HostsRemoval::kRemoved, kOriginal + crlf + later},
    };
    for (const auto& row : rows) {
        Hosts h;
        WriteFile(h.hosts, row.before);
        EXPECT_EQ(RemoveHostsEntry(row.host, row.address, h.hosts), row.result) << row.what;
        EXPECT_EQ(ReadFile(h.hosts), row.after) << row.what;
    }
}

#ifdef _WIN32
TEST(HostsFile, TheFileKeepsItsAttributes) {
    Hosts h;
    ASSERT_TRUE(
        SetFileAttributesA(h.hosts.c_str(), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(AddHostsEntry("myhost", "192.168.1.5", h.runtime, h.hosts));
    EXPECT_EQ(RemoveHostsEntry("myhost", "192.168.1.5", h.hosts), HostsRemoval::kRemoved);
    EXPECT_EQ(ReadFile(h.hosts), kOriginal);
    EXPECT_TRUE(GetFileAttributesA(h.hosts.c_str()) & FILE_ATTRIBUTE_HIDDEN);
}

// A hosts file that another program holds open for reading and writing, but not for being
// replaced: the entry goes into the file itself, and no copy of ours stays beside it.
TEST(HostsFile, AFileHeldAgainstReplacingIsWrittenInPlace) {
    Hosts h;
    const ScopedHandle held(CreateFileA(h.hosts.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held.IsValid());
    ASSERT_TRUE(AddHostsEntry("myhost", "192.168.1.5", h.runtime, h.hosts));
    EXPECT_EQ(ReadFile(h.hosts), kOriginal + HostsBlock("myhost"));
    EXPECT_EQ(RemoveHostsEntry("myhost", "192.168.1.5", h.hosts), HostsRemoval::kRemoved);
    EXPECT_EQ(ReadFile(h.hosts), kOriginal);
    EXPECT_FALSE(PathExists(h.hosts + ".trh-" + std::to_string(GetCurrentProcessId())));
}
#else
// The new file that replaces the hosts file gets its mode and owner.
TEST(HostsFile, TheFileKeepsItsModeAndOwner) {
    Hosts h;
    ASSERT_EQ(chmod(h.hosts.c_str(), 0640), 0);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(h.hosts.c_str(), 4321, 8765), 0);
    }
    const std::string link = h.dir / "link";
    ASSERT_EQ(symlink(h.hosts.c_str(), link.c_str()), 0);
    ASSERT_TRUE(AddHostsEntry("myhost", "192.168.1.5", h.runtime, link));
    EXPECT_EQ(ReadFile(h.hosts), kOriginal + HostsBlock("myhost"));
    struct stat st {};
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays a link";
    ASSERT_EQ(stat(h.hosts.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, 4321u);
        EXPECT_EQ(st.st_gid, 8765u);
    }
}

// A hosts file bind-mounted over the system's (as containers and the end-to-end tests have it)
// cannot be replaced by a new file: it is written in place. Once its disk is full, that write
// fails and the file is as it was.
TEST(HostsFile, ABindMountedFileIsWrittenInPlace) {
    Hosts h;
    const std::string disk = h.dir / "disk";
    SmallDisk small(MadeFolder(disk), 16);
    if (!small.ok()) {
        GTEST_SKIP() << "no mounts of the test's own here (they need root)";
    }
    // A block more is needed for the entry.
    const std::string source = disk + "/hosts";
    const std::string original =
        kOriginal + std::string(4096 - kOriginal.size() % 4096 - 2, '#') + "\n";
    WriteFile(source, original);
    BindMount mount(source, h.hosts);
    ASSERT_TRUE(mount.ok());
    ASSERT_TRUE(AddHostsEntry("myhost", "192.168.1.5", h.runtime, h.hosts));
    EXPECT_EQ(ReadFile(source), original + HostsBlock("myhost"));
    EXPECT_EQ(RemoveHostsEntry("myhost", "192.168.1.5", h.hosts), HostsRemoval::kRemoved);
    EXPECT_EQ(ReadFile(source), original);

    ASSERT_TRUE(small.Fill());
    EXPECT_FALSE(AddHostsEntry("myhost", "192.168.1.5", h.runtime, h.hosts));
    EXPECT_EQ(ReadFile(source), original);
}
#endif

}  // namespace
