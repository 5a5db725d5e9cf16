// File and folder helpers for the start and stop sequences and the database staging.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Asked between files by the long copies and unpacks: true ends the work there. Empty: never.
using CancelCheck = std::function<bool()>;

// True when a file, folder or link of that name exists; one trailing separator is ignored.
bool PathExists(const std::string& path);

// Creates the folder and its missing parents with at most ten creation attempts. Each missing
// level costs two attempts (one while looking for an existing parent, one while creating), so a
// path with more than five missing levels is refused; the levels made before that stay. On
// Windows every folder tried gets the hidden attribute when `hidden` is true and loses all its
// attributes otherwise, also when it was there already; Linux has no hidden attribute.
bool CreateFolderPath(const std::string& path, bool hidden);

// Creates the folder and every missing parent, however deep; true when the folder is there.
bool CreateFolders(const std::string& path);

// Deletes the folder with everything in it. Symbolic links (and junctions on Windows) inside it
// are removed as links: whatever they point to is never entered. Files that cannot be deleted
// are skipped (read-only files on Windows and write-protected folders on Linux are made writable
// first). False when the folder is not there or cannot be read, or when `path` itself is a link
// that could not be removed; true otherwise, also when something was left behind.
bool DeleteFolderTree(const std::string& path);

// Removes the folder only when it is empty; true when it is gone.
bool RemoveEmptyFolder(const std::string& path);

// Copies every file and sub-folder of `source` into `target`, which is created when missing;
// files of the same name are overwritten and every copy is writable, while the source's files
// keep their attributes. Symbolic links, junctions and special files inside `source` are not
// copied and never followed. A folder's copy stops at its first file that cannot be copied and
// answers false; what a sub-folder's copy answers is not passed on, so the files already copied
// stay and the copy of the parent goes on. `cancelled` is asked before each file; once it says
// yes nothing more is copied, and the copy answers false.
bool CopyFolderTree(const std::string& source, const std::string& target,
                    const CancelCheck& cancelled = nullptr);

// Copies one file over `target` (replaced when there). On Linux a new target gets mode 0600.
// A source that is not a file (a folder) is refused before the target is touched.
bool CopyOneFile(const std::string& source, const std::string& target);

// Owner of a C stream.
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// fopen. On Linux a file that this call creates gets mode 0600 whatever the umask: what the
// launcher writes (configuration files, the unpacked database, its journal) is for this user's
// eyes only. Folders made by the helpers here are 0700 for the same reason.
UniqueFile OpenFile(const std::string& path, const char* mode);

// Writes `bytes` as the whole content of the file, made or emptied first; false when that fails.
bool WriteWholeFile(const std::string& path, const std::string& bytes);

// Creates (or empties) a file for writing ("wb") that only this user may read: mode 0600 on
// Linux, also for a file that was there; on Windows, where the temporary folder is the user's
// own, as OpenFile. A link in the file's place is not followed (Linux).
UniqueFile CreatePrivateFile(const std::string& path);

// Lets only this user into the folder (mode 0700 on Linux); nothing on Windows. False when the
// mode cannot be set.
bool MakeFolderPrivate(const std::string& path);

// Who has the place `path`: nothing is there (kFree); a real folder, no link, of this user that
// nobody else may write to (kOurs); anything else, a dangling link too (kOthers). Linux: the
// folder's owner is this process's user and neither group nor others may write to it. Windows:
// the folder's owner is this process's user (or the owner the process gives what it creates,
// the administrators when it runs elevated).
enum class FolderClaim { kFree, kOurs, kOthers };
FolderClaim ClaimOf(const std::string& path);

// Makes `path` as a new folder of this user that nobody else may enter (Linux: mode 0700 whatever
// the umask; Windows: hidden when `hidden` is true). A name that exists in any form (a folder of
// anybody, a file, a link) is never taken over: kTaken, and nothing was changed there. kFailed
// when the folder cannot be made at all (its parent is missing or closed to this user).
enum class NewFolder { kCreated, kTaken, kFailed };
NewFolder CreatePrivateFolder(const std::string& path, bool hidden);

// Renames the file `from` to `to`, in place of a file that is there already.
bool MoveFileOver(const std::string& from, const std::string& to);

// Gives the existing file `path` the content `bytes`, in one step where the system allows it: a
// new file beside it, written through to the disk, takes its place (rename on Linux, with the
// file's mode and owner; ReplaceFileA on Windows, which keeps its attributes and security
// settings), so that nobody ever reads half of either content. Where the file cannot be replaced
// that way (a file bind-mounted over another, a folder that takes no new file), `bytes` are
// written over the file itself, and should that fail (a full disk) `before`, the content the
// caller read, is written back. A link in place of the file is followed (Linux). True when the
// file holds `bytes`.
bool ReplaceFileContent(const std::string& path, const std::string& bytes,
                        const std::string& before);

// The bytes that the caller may still write to the disk that holds `folder`; nothing when that
// cannot be found out.
std::optional<std::uint64_t> FreeDiskSpace(const std::string& folder);

// Writes what the stream holds buffered through to the disk, so that it survives a power cut;
// false when that fails.
bool FlushToDisk(std::FILE* file);

// Writes what the system holds of a closed file through to the disk, with its name in its
// folder (Linux), so that both survive a power cut; false when that fails.
bool FlushFileToDisk(const std::string& path);

// Whether an open stream reads or writes a file. Linux lets fopen open a folder for reading
// (the first read fails); Windows refuses that already.
bool IsFileStream(std::FILE* stream);

// Whether two paths name the same place, compared as the file system compares names: exactly on
// Linux; without regard to case, and short and long names alike, on Windows.
bool SamePath(const std::string& a, const std::string& b);

// The long form of a path that may hold 8.3 short names (Windows); the path itself elsewhere or
// when it cannot be found.
std::string LongPathName(const std::string& path);

struct FolderEntry {
    enum class Kind { kFile, kFolder, kLink, kOther };
    std::string name;
    Kind kind = Kind::kOther;
};

// The entries of a folder, without "." and "..", in no particular order; links (and junctions)
// are reported as links, not as what they point to. False when the folder cannot be read.
bool ListFolder(const std::string& path, std::vector<FolderEntry>& entries);

// The drive that holds the launcher's medium, kept open so that the medium can be locked in its
// drive while the servers run: on Windows a removable or CD drive, on Linux a CD drive.
class MediaDevice {
public:
    ~MediaDevice();
    MediaDevice(const MediaDevice&) = delete;
    MediaDevice& operator=(const MediaDevice&) = delete;

    // The device of the drive that holds `folder`, or null when that drive is of another kind.
    // On Windows a device that could not be opened is still returned: locking it then fails
    // silently.
    static std::unique_ptr<MediaDevice> ForFolder(const std::string& folder);

private:
    explicit MediaDevice(std::intptr_t handle) : handle_(handle) {}

    // HANDLE on Windows, file descriptor on Linux; negative or INVALID_HANDLE_VALUE when the
    // open failed.
    std::intptr_t handle_;

    friend void LockMedia(MediaDevice* device);
    friend void UnlockMedia(MediaDevice* device);
};

// Prevent and allow the ejection of the medium (IOCTL_STORAGE_MEDIA_REMOVAL on Windows,
// CDROM_LOCKDOOR on Linux). Failures and a null device are ignored.
void LockMedia(MediaDevice* device);
void UnlockMedia(MediaDevice* device);
