// Linux only: file and folder helpers over POSIX calls. Trees are walked through folder
// descriptors opened with O_NOFOLLOW, so a link that replaces a folder is never entered.
#include "sys/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <fstream>
#include <sstream>

#include "sys/files_detail.h"
#include "sys/folders.h"
#include "sys/handles_posix.h"

namespace {

// Only this user may read what the launcher writes: the configuration files, the unpacked
// database and the journal are nobody else's business on a shared machine.
constexpr mode_t kFileMode = 0600;
constexpr mode_t kFolderMode = 0700;

enum class EntryType { kFile, kFolder, kLink, kOther, kGone };

EntryType TypeOf(int dirFd, const dirent* entry) {
    switch (entry->d_type) {
        case DT_REG:
            return EntryType::kFile;
        case DT_DIR:
            return EntryType::kFolder;
        case DT_LNK:
            return EntryType::kLink;
        case DT_UNKNOWN:
            break;
        default:
            return EntryType::kOther;
    }
    struct stat st {};
    if (fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return EntryType::kGone;
    }
    if (S_ISREG(st.st_mode)) {
        return EntryType::kFile;
    }
    if (S_ISDIR(st.st_mode)) {
        return EntryType::kFolder;
    }
    if (S_ISLNK(st.st_mode)) {
        return EntryType::kLink;
    }
    return EntryType::kOther;
}

bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// A stream over the entries of an open folder; the folder's own descriptor stays open.
ScopedDir OpenEntries(int dirFd) {
    const int copy = fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) {
        return nullptr;
    }
    DIR* dir = fdopendir(copy);
    if (dir == nullptr) {
        close(copy);
    }
    return ScopedDir(dir);
}

int OpenFolderAt(int dirFd, const char* name) {
    return openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// The owner needs all three rights on a folder to empty it.
void MakeFolderUsable(int fd) {
    struct stat st {};
    if (fstat(fd, &st) == 0 && (st.st_mode & S_IRWXU) != S_IRWXU) {
        fchmod(fd, st.st_mode | S_IRWXU);
    }
}

void RemoveContents(int dirFd) {
    MakeFolderUsable(dirFd);
    ScopedDir dir = OpenEntries(dirFd);
    if (!dir) {
        return;
    }
    while (const dirent* entry = readdir(dir.get())) {
        if (IsDotOrDotDot(entry->d_name)) {
            continue;
        }
        if (TypeOf(dirFd, entry) == EntryType::kFolder) {
            int sub = OpenFolderAt(dirFd, entry->d_name);
            if (sub < 0 && errno == EACCES) {
                // Only a real folder of this user gets its rights back. The entry may have been
                // swapped for a link since it was listed: the mode change never follows one.
                struct stat st {};
                if (fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                    S_ISDIR(st.st_mode) && st.st_uid == geteuid()) {
                    fchmodat(dirFd, entry->d_name, (st.st_mode & 07777) | S_IRWXU,
                             AT_SYMLINK_NOFOLLOW);
                }
                sub = OpenFolderAt(dirFd, entry->d_name);
            }
            if (sub >= 0) {
                ScopedFd owned(sub);
                RemoveContents(sub);
            }
            unlinkat(dirFd, entry->d_name, AT_REMOVEDIR);
        } else {
            // Files, links (the link itself, not its target) and special files.
            unlinkat(dirFd, entry->d_name, 0);
        }
    }
}

bool CopyBytes(int in, int out) {
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = read(in, buffer, sizeof(buffer));
        if (got == 0) {
            return true;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        ssize_t done = 0;
        while (done < got) {
            const ssize_t put = write(out, buffer + done, static_cast<size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return false;
            }
            done += put;
        }
    }
}

bool CopyFileAt(int srcDir, const char* srcName, int dstDir, const char* dstName) {
    ScopedFd in(openat(srcDir, srcName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!in.IsValid()) {
        return false;
    }
    ScopedFd out(
        openat(dstDir, dstName, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, kFileMode));
    if (!out.IsValid()) {
        return false;
    }
    // Copies from a write-protected medium must be writable, as the servers change them.
    fchmod(out.Get(), kFileMode);
    return CopyBytes(in.Get(), out.Get());
}

bool CopyContents(int srcDir, int dstDir, const CancelCheck& cancelled) {
    ScopedDir dir = OpenEntries(srcDir);
    if (!dir) {
        return false;
    }
    while (const dirent* entry = readdir(dir.get())) {
        if (IsDotOrDotDot(entry->d_name)) {
            continue;
        }
        if (cancelled && cancelled()) {
            return false;
        }
        switch (TypeOf(srcDir, entry)) {
            case EntryType::kFile:
                if (!CopyFileAt(srcDir, entry->d_name, dstDir, entry->d_name)) {
                    return false;
                }
                break;
            case EntryType::kFolder: {
                mkdirat(dstDir, entry->d_name, kFolderMode);
                ScopedFd subSource(OpenFolderAt(srcDir, entry->d_name));
                ScopedFd subTarget(OpenFolderAt(dstDir, entry->d_name));
                if (subSource.IsValid() && subTarget.IsValid()) {
                    CopyContents(subSource.Get(), subTarget.Get(), cancelled);
                }
                break;
            }
            default:
                break;
        }
    }
    return true;
}

// The block device mounted where `folder` lies, from the mount table; empty when unknown.
std::string MountSourceOf(const std::string& folder) {
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0) {
        return "";
    }
    const std::string wanted =
        std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
    std::ifstream mounts("/proc/self/mountinfo");
    std::string line;
    while (std::getline(mounts, line)) {
        // id parent major:minor root mount-point options [optional fields] - type source ...
        std::istringstream fields(line);
        std::string id, parent, device;
        fields >> id >> parent >> device;
        if (device != wanted) {
            continue;
        }
        const size_t dash = line.find(" - ");
        if (dash == std::string::npos) {
            return "";
        }
        std::istringstream tail(line.substr(dash + 3));
        std::string type, source;
        tail >> type >> source;
        return source;
    }
    return "";
}

void SetDoorLock(std::intptr_t handle, int locked) {
    if (handle >= 0) {
        ioctl(static_cast<int>(handle), CDROM_LOCKDOOR, locked);
    }
}

}  // namespace

namespace files_detail {

MakeFolderResult MakeOneFolder(const std::string& path) {
    if (mkdir(path.c_str(), kFolderMode) == 0) {
        // The umask may have taken rights the owner needs.
        ScopedFd made(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (made.IsValid()) {
            fchmod(made.Get(), kFolderMode);
        }
        return MakeFolderResult::kCreated;
    }
    switch (errno) {
        case EEXIST: {
            // A file of that name is no folder.
            struct stat st {};
            return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)
                       ? MakeFolderResult::kAlreadyThere
                       : MakeFolderResult::kFailed;
        }
        case ENOENT:
            return MakeFolderResult::kParentMissing;
        default:
            return MakeFolderResult::kFailed;
    }
}

void SetFolderHidden(const std::string&, bool) {}

bool IsSeparator(char c) {
    return c == '/';
}

}  // namespace files_detail

bool PathExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && lstat(WithoutTrailingSeparators(path).c_str(), &st) == 0;
}

bool SamePath(const std::string& a, const std::string& b) {
    return a == b;
}

FolderClaim ClaimOf(const std::string& path) {
    struct stat st {};
    if (path.empty() || lstat(WithoutTrailingSeparators(path).c_str(), &st) != 0) {
        return errno == ENOENT ? FolderClaim::kFree : FolderClaim::kOthers;
    }
    const bool ours = S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 022) == 0;
    return ours ? FolderClaim::kOurs : FolderClaim::kOthers;
}

NewFolder CreatePrivateFolder(const std::string& path, bool) {
    const std::string folder = WithoutTrailingSeparators(path);
    if (mkdir(folder.c_str(), kFolderMode) != 0) {
        return errno == EEXIST ? NewFolder::kTaken : NewFolder::kFailed;
    }
    // Only the folder made here counts. In a parent that others may write to and that lacks the
    // sticky bit, the name could have been swapped for a folder of theirs or a link meanwhile.
    ScopedFd made(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!made.IsValid() || fstat(made.Get(), &st) != 0 || st.st_uid != geteuid() ||
        fchmod(made.Get(), kFolderMode) != 0) {
        return NewFolder::kTaken;
    }
    return NewFolder::kCreated;
}

bool CreateFolders(const std::string& path) {
    std::string prefix;
    size_t pos = 0;
    while (pos <= path.size()) {
        const size_t slash = path.find('/', pos);
        const size_t end = slash == std::string::npos ? path.size() : slash;
        prefix = path.substr(0, end);
        if (!prefix.empty()) {
            files_detail::MakeOneFolder(prefix);
        }
        if (slash == std::string::npos) {
            break;
        }
        pos = slash + 1;
    }
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RemoveEmptyFolder(const std::string& path) {
    return rmdir(path.c_str()) == 0;
}

bool DeleteFolderTree(const std::string& path) {
    const std::string folder = WithoutTrailingSeparators(path);
    if (rmdir(folder.c_str()) == 0) {
        return true;
    }
    if (errno == ENOTDIR) {
        // A link in place of the folder goes as a link, as a junction does on Windows.
        struct stat st {};
        return lstat(folder.c_str(), &st) == 0 && S_ISLNK(st.st_mode) &&
               unlink(folder.c_str()) == 0;
    }
    if (errno != ENOTEMPTY && errno != EEXIST) {
        return false;
    }
    {
        ScopedFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd.IsValid()) {
            return false;
        }
        RemoveContents(fd.Get());
    }
    rmdir(folder.c_str());
    return true;
}

bool CopyFolderTree(const std::string& source, const std::string& target,
                    const CancelCheck& cancelled) {
    if (cancelled && cancelled()) {
        return false;
    }
    mkdir(target.c_str(), kFolderMode);
    ScopedFd src(open(source.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!src.IsValid()) {
        return false;
    }
    ScopedFd dst(open(target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dst.IsValid()) {
        return false;
    }
    return CopyContents(src.Get(), dst.Get(), cancelled) && !(cancelled && cancelled());
}

namespace {

bool WriteAllAt(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put =
            pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        done += static_cast<size_t>(put);
    }
    return true;
}

// The file's content replaced where it lies: written from its start, then cut to length.
bool OverwriteInPlace(int fd, const std::string& bytes) {
    return WriteAllAt(fd, bytes) && ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 &&
           fsync(fd) == 0;
}

}  // namespace

bool MoveFileOver(const std::string& from, const std::string& to) {
    return rename(from.c_str(), to.c_str()) == 0;
}

bool ReplaceFileContent(const std::string& path, const std::string& bytes,
                        const std::string& before) {
    char real[PATH_MAX];
    const std::string target = realpath(path.c_str(), real) != nullptr ? real : path;
    struct stat st {};
    if (stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    // A file that may not be written is not replaced either, though its folder would allow it.
    ScopedFd file(open(target.c_str(), O_WRONLY | O_CLOEXEC));
    if (!file.IsValid()) {
        return false;
    }
    const mode_t mode = st.st_mode & 07777;
    const std::string temp = target + ".trh-" + std::to_string(getpid());
    {
        ScopedFd out(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          S_IRUSR | S_IWUSR));
        if (out.IsValid()) {
            const bool written = fchown(out.Get(), st.st_uid, st.st_gid) == 0 &&
                                 fchmod(out.Get(), mode) == 0 && WriteAllAt(out.Get(), bytes) &&
                                 fsync(out.Get()) == 0;
            if (written && rename(temp.c_str(), target.c_str()) == 0) {
                // The new name, too, must survive a power cut.
                const std::string folder = target.substr(0, target.find_last_of('/') + 1);
                ScopedFd dir(open(folder.empty() ? "." : folder.c_str(),
                                  O_RDONLY | O_DIRECTORY | O_CLOEXEC));
                if (dir.IsValid()) {
                    fsync(dir.Get());
                }
                return true;
            }
            unlink(temp.c_str());
        }
    }
    // A bind mount cannot be renamed over (EBUSY, EXDEV); nor can a folder without room or
    // rights for a new file be used. The file itself is written then.
    if (OverwriteInPlace(file.Get(), bytes)) {
        return true;
    }
    OverwriteInPlace(file.Get(), before);
    return false;
}

std::optional<std::uint64_t> FreeDiskSpace(const std::string& folder) {
    struct statvfs st {};
    if (statvfs(folder.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
}

bool FlushToDisk(std::FILE* file) {
    return std::fflush(file) == 0 && fsync(fileno(file)) == 0;
}

bool FlushFileToDisk(const std::string& path) {
    ScopedFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.IsValid() || fsync(file.Get()) != 0) {
        return false;
    }
    const size_t slash = path.find_last_of('/');
    ScopedFd folder(open(slash == std::string::npos ? "." : path.substr(0, slash + 1).c_str(),
                         O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return folder.IsValid() && fsync(folder.Get()) == 0;
}

bool CopyOneFile(const std::string& source, const std::string& target) {
    ScopedFd in(open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.IsValid()) {
        return false;
    }
    // A folder opens for reading here, where Windows refuses it: the target would be truncated
    // before the first read failed.
    struct stat st {};
    if (fstat(in.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    ScopedFd out(open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kFileMode));
    return out.IsValid() && CopyBytes(in.Get(), out.Get());
}

UniqueFile OpenFile(const std::string& path, const char* mode) {
    struct stat st {};
    const bool existed = stat(path.c_str(), &st) == 0;
    UniqueFile file(std::fopen(path.c_str(), mode));
    const std::string m = mode;
    if (file && !existed && m.find_first_of("wa") != std::string::npos) {
        fchmod(fileno(file.get()), kFileMode);
    }
    return file;
}

UniqueFile CreatePrivateFile(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                        S_IRUSR | S_IWUSR);
    if (fd < 0) {
        return nullptr;
    }
    if (fchmod(fd, S_IRUSR | S_IWUSR) != 0) {
        close(fd);
        return nullptr;
    }
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        close(fd);
    }
    return UniqueFile(file);
}

bool MakeFolderPrivate(const std::string& path) {
    return chmod(WithoutTrailingSeparators(path).c_str(), S_IRWXU) == 0;
}

bool IsFileStream(std::FILE* stream) {
    struct stat st {};
    return stream != nullptr && fstat(fileno(stream), &st) == 0 && S_ISREG(st.st_mode);
}

std::string LongPathName(const std::string& path) {
    return path;
}

bool ListFolder(const std::string& path, std::vector<FolderEntry>& entries) {
    entries.clear();
    ScopedFd fd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.IsValid()) {
        return false;
    }
    ScopedDir dir = OpenEntries(fd.Get());
    if (!dir) {
        return false;
    }
    while (const dirent* entry = readdir(dir.get())) {
        if (IsDotOrDotDot(entry->d_name)) {
            continue;
        }
        FolderEntry item;
        item.name = entry->d_name;
        switch (TypeOf(fd.Get(), entry)) {
            case EntryType::kFile:
                item.kind = FolderEntry::Kind::kFile;
                break;
            case EntryType::kFolder:
                item.kind = FolderEntry::Kind::kFolder;
                break;
            case EntryType::kLink:
                item.kind = FolderEntry::Kind::kLink;
                break;
            case EntryType::kGone:
                continue;
            case EntryType::kOther:
                item.kind = FolderEntry::Kind::kOther;
                break;
        }
        entries.push_back(item);
    }
    return true;
}

MediaDevice::~MediaDevice() {
    if (handle_ >= 0) {
        close(static_cast<int>(handle_));
    }
}

std::unique_ptr<MediaDevice> MediaDevice::ForFolder(const std::string& folder) {
    const std::string source = MountSourceOf(folder);
    if (source.compare(0, 5, "/dev/") != 0) {
        return nullptr;
    }
    // O_NONBLOCK opens a CD drive even when it holds no disc.
    const int fd = open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    if (ioctl(fd, CDROM_GET_CAPABILITY, 0) < 0) {
        close(fd);
        return nullptr;
    }
    return std::unique_ptr<MediaDevice>(new MediaDevice(fd));
}

void LockMedia(MediaDevice* device) {
    if (device != nullptr) {
        SetDoorLock(device->handle_, 1);
    }
}

void UnlockMedia(MediaDevice* device) {
    if (device != nullptr) {
        SetDoorLock(device->handle_, 0);
    }
}
