// What the fault tests do to a stack, and how they see that a run left the medium as it was.
// The faults must hold also for root, who may write any file whatever its mode: on Linux they
// are private mounts (a read-only medium, a small disk that is full) and the immutable
// attribute; on Windows read-only attributes and files held open without sharing.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace testsupport {

inline std::uint64_t Fnv1a(const std::string& bytes) {
    std::uint64_t hash = 1469598103934665603ull;
    for (const unsigned char c : bytes) {
        hash = (hash ^ c) * 1099511628211ull;
    }
    return hash;
}

// Every entry below `folder`, one line each in name order: its path, its kind, the time of its
// last change (a folder's changes when an entry is made or removed in it), for a file its size
// and a hash of its bytes, and whether it may be written (the mode on Linux, the read-only,
// hidden and system attributes on Windows). Two equal fingerprints mean that nothing in the
// tree was made, removed, rewritten or changed in its rights in between; without `times`, that
// everything is back as it was.
inline std::string TreeFingerprint(const std::string& folder, bool times = true) {
    namespace fs = std::filesystem;
    std::vector<std::string> lines;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const fs::path& path = it->path();
        std::error_code ignored;
        const fs::file_status status = it->symlink_status(ignored);
        std::string line = fs::relative(path, folder, ignored).generic_string();
        if (fs::is_symlink(status)) {
            line += " link";
        } else if (fs::is_directory(status)) {
            line += " folder";
        } else {
            const std::string bytes = ReadFile(path.string());
            line += " file " + std::to_string(bytes.size()) + " " + std::to_string(Fnv1a(bytes));
        }
        if (times) {
            line += " changed " +
                    std::to_string(fs::last_write_time(path, ignored).time_since_epoch().count());
        }
#ifdef _WIN32
        const DWORD attributes = GetFileAttributesA(path.string().c_str());
        line += " attributes " +
                std::to_string(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                             FILE_ATTRIBUTE_SYSTEM));
#else
        line += " mode " + std::to_string(static_cast<int>(status.permissions()));
#endif
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

#ifdef _WIN32

// A file held open by the test as another program may hold it: for reading, sharing only what
// `share` allows (FILE_SHARE_READ lets others read and run it; 0 lets nobody in).
class HeldOpen {
public:
    explicit HeldOpen(const std::string& path, DWORD share = 0)
        : handle_(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~HeldOpen() {
        if (ok()) {
            CloseHandle(handle_);
        }
    }
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;

    bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

// The read-only attribute on every file and folder below `folder` and on the folder itself, and
// every file held open against writing, while the object lives; the attributes are put back at
// the end. The attribute alone would not do: Wine lets root write a read-only file, and Windows
// itself lets new files into a read-only folder.
class ReadOnlyTree {
public:
    explicit ReadOnlyTree(const std::string& folder) {
        namespace fs = std::filesystem;
        Protect(folder);
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(folder, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            Protect(it->path().string());
            std::error_code ignored;
            if (it->is_regular_file(ignored)) {
                held_.push_back(std::make_unique<HeldOpen>(it->path().string(), FILE_SHARE_READ));
                ok_ = ok_ && held_.back()->ok();
            }
        }
    }
    ~ReadOnlyTree() {
        held_.clear();
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            SetFileAttributesA(it->first.c_str(), it->second);
        }
    }
    ReadOnlyTree(const ReadOnlyTree&) = delete;
    ReadOnlyTree& operator=(const ReadOnlyTree&) = delete;

    bool ok() const { return ok_ && !saved_.empty(); }

private:
    void Protect(const std::string& path) {
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES &&
            SetFileAttributesA(path.c_str(), attributes | FILE_ATTRIBUTE_READONLY)) {
            saved_.emplace_back(path, attributes);
        }
    }

    std::vector<std::pair<std::string, DWORD>> saved_;
    std::vector<std::unique_ptr<HeldOpen>> held_;
    bool ok_ = true;
};

#else

// Gives the calling thread, and every thread and process it starts afterwards, a mount table of
// its own, once per process; the mounts of the fault tests then stay out of the machine's. Call
// from the test's own thread. False when this is not allowed (not root).
inline bool OwnMountTable() {
    static const bool own = unshare(CLONE_NEWNS) == 0 &&
                            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return own;
}

inline std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

inline std::string MadeFolder(const std::string& path) {
    std::filesystem::create_directories(path);
    return path;
}

// A mount on a folder for as long as the object lives.
class TestMount {
public:
    TestMount(const TestMount&) = delete;
    TestMount& operator=(const TestMount&) = delete;
    ~TestMount() {
        if (mounted_) {
            umount2(folder_.c_str(), MNT_DETACH);
        }
    }
    bool ok() const { return mounted_; }

protected:
    explicit TestMount(const std::string& folder) : folder_(WithoutTrailingSlash(folder)) {}
    std::string folder_;
    bool mounted_ = false;
};

// `source` mounted over `target` (files or folders), as a container's hosts file is.
class BindMount : public TestMount {
public:
    BindMount(const std::string& source, const std::string& target) : TestMount(target) {
        mounted_ = OwnMountTable() &&
                   mount(source.c_str(), folder_.c_str(), nullptr, MS_BIND, nullptr) == 0;
    }
};

// The folder as a read-only file system, as a CD or a write-protected stick is: every write
// below it fails with EROFS, for root too.
class ReadOnlyMount : public TestMount {
public:
    explicit ReadOnlyMount(const std::string& folder) : TestMount(folder) {
        if (!OwnMountTable() ||
            mount(folder_.c_str(), folder_.c_str(), nullptr, MS_BIND, nullptr) != 0) {
            return;
        }
        mounted_ = true;
        if (mount(nullptr, folder_.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) !=
            0) {
            umount2(folder_.c_str(), MNT_DETACH);
            mounted_ = false;
        }
    }
};

// A file system of `kib` KiB (tmpfs) on the folder, which is empty; Fill() then takes every
// byte that is left, so that writing fails with ENOSPC while new names can still be made.
class SmallDisk : public TestMount {
public:
    SmallDisk(const std::string& folder, int kib) : TestMount(folder) {
        const std::string options = "size=" + std::to_string(kib) + "k,mode=0755";
        mounted_ =
            OwnMountTable() && mount("trh-test", folder_.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }

    // Writes a filler file until the disk is full; true when it is.
    bool Fill() const {
        const int fd = open((folder_ + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) {
            return false;
        }
        const std::string block(4096, 'f');
        bool full = false;
        for (int i = 0; i < 1 << 20 && !full; ++i) {
            full = write(fd, block.data(), block.size()) < 0 && errno == ENOSPC;
        }
        close(fd);
        return full;
    }
};

// The immutable attribute on a file or folder while the object lives: nobody, root included, may
// change the file, and a folder takes no new entries and loses none. Not every file system has
// it; ok() then says no.
class Immutable {
public:
    explicit Immutable(const std::string& path)
        : fd_(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
        if (fd_ >= 0 && ioctl(fd_, FS_IOC_GETFLAGS, &flags_) == 0) {
            int flags = flags_ | FS_IMMUTABLE_FL;
            set_ = ioctl(fd_, FS_IOC_SETFLAGS, &flags) == 0;
        }
    }
    ~Immutable() {
        if (set_) {
            ioctl(fd_, FS_IOC_SETFLAGS, &flags_);
        }
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Immutable(const Immutable&) = delete;
    Immutable& operator=(const Immutable&) = delete;

    bool ok() const { return set_; }

private:
    int fd_;
    int flags_ = 0;
    bool set_ = false;
};

#endif

// A folder below `root` in which nothing can be made: on Linux a read-only mount; on Windows,
// where the test cannot make one, a folder named below a file (TEMP naming a file, or a folder
// below one).
class UnwritableFolder {
public:
#ifdef _WIN32
    explicit UnwritableFolder(const std::string& root) : path_(root + "blocked\\tmp\\") {
        WriteFile(root + "blocked", "a file, not a folder");
        ok_ = !std::filesystem::exists(path_);
    }
#else
    explicit UnwritableFolder(const std::string& root)
        : path_(root + "unwritable/"), mount_(MadeFolder(path_)) {
        ok_ = mount_.ok();
    }
#endif

    const std::string& path() const {
        return path_;
    }
    bool ok() const {
        return ok_;
    }

private:
    std::string path_;
#ifndef _WIN32
    ReadOnlyMount mount_;
#endif
    bool ok_ = false;
};

// The stack as a read-only medium: a read-only mount on Linux, read-only attributes on Windows.
// A file that another program keeps from being written: held open without sharing on Windows,
// immutable on Linux.
#ifdef _WIN32
using ReadOnlyMedium = ReadOnlyTree;
using LockedFile = HeldOpen;
#else
using ReadOnlyMedium = ReadOnlyMount;
using LockedFile = Immutable;
#endif

}  // namespace testsupport
