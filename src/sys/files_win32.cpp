// Windows only: file and folder helpers over the ANSI Win32 file calls.
#include "sys/files.h"

#include <windows.h>
#include <aclapi.h>
#include <io.h>
#include <shlobj.h>
#include <winioctl.h>

#include <vector>

#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>

#include "sys/files_detail.h"
#include "sys/folders.h"
#include "sys/handles_win32.h"

namespace {

// Owner of a file search.
class FindHandle {
public:
    FindHandle(const std::string& pattern, WIN32_FIND_DATAA* data)
        : handle_(FindFirstFileA(pattern.c_str(), data)) {}
    ~FindHandle() {
        if (valid()) {
            FindClose(handle_);
        }
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;

    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool Next(WIN32_FIND_DATAA* data) { return FindNextFileA(handle_, data) != FALSE; }

private:
    HANDLE handle_;
};

bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool IsLink(const WIN32_FIND_DATAA& data) {
    return (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool IsFolder(const WIN32_FIND_DATAA& data) {
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void RemoveContents(const std::string& folder) {
    WIN32_FIND_DATAA data;
    FindHandle find(folder + "\\*.*", &data);
    if (!find.valid()) {
        return;
    }
    do {
        const std::string entry = folder + "\\" + data.cFileName;
        if (IsFolder(data)) {
            if (IsDotOrDotDot(data.cFileName)) {
                continue;
            }
            // A junction or folder link goes as a link; what it points to is left alone.
            if (!IsLink(data)) {
                RemoveContents(entry);
            }
            RemoveDirectoryA(entry.c_str());
        } else {
            if (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
                SetFileAttributesA(entry.c_str(), FILE_ATTRIBUTE_NORMAL);
            }
            DeleteFileA(entry.c_str());
        }
    } while (find.Next(&data));
}

}  // namespace

namespace files_detail {

MakeFolderResult MakeOneFolder(const std::string& path) {
    if (CreateDirectoryA(path.c_str(), nullptr)) {
        return MakeFolderResult::kCreated;
    }
    switch (GetLastError()) {
        case ERROR_ALREADY_EXISTS: {
            // A file of that name is no folder.
            const DWORD attributes = GetFileAttributesA(path.c_str());
            return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)
                       ? MakeFolderResult::kAlreadyThere
                       : MakeFolderResult::kFailed;
        }
        case ERROR_PATH_NOT_FOUND:
            return MakeFolderResult::kParentMissing;
        default:
            return MakeFolderResult::kFailed;
    }
}

void SetFolderHidden(const std::string& path, bool hidden) {
    SetFileAttributesA(path.c_str(), hidden ? FILE_ATTRIBUTE_HIDDEN : 0);
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

}  // namespace files_detail

bool PathExists(const std::string& path) {
    const std::string name = WithoutTrailingSeparators(path);
    return !name.empty() && GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CreateFolders(const std::string& path) {
    const std::string folder = WithoutTrailingSeparators(path);
    const int result = SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
    if (result == ERROR_SUCCESS || result == ERROR_ALREADY_EXISTS || result == ERROR_FILE_EXISTS) {
        const DWORD attributes = GetFileAttributesA(folder.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES &&
               (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    return false;
}

bool RemoveEmptyFolder(const std::string& path) {
    return RemoveDirectoryA(path.c_str()) != FALSE;
}

bool DeleteFolderTree(const std::string& path) {
    const std::string folder = WithoutTrailingSeparators(path);
    if (RemoveDirectoryA(folder.c_str())) {
        return true;
    }
    if (GetLastError() != ERROR_DIR_NOT_EMPTY) {
        return false;
    }
    // A junction or folder link that would not go is never entered.
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return false;
    }
    RemoveContents(folder);
    RemoveDirectoryA(folder.c_str());
    return true;
}

bool CopyFolderTree(const std::string& source, const std::string& target,
                    const CancelCheck& cancelled) {
    if (cancelled && cancelled()) {
        return false;
    }
    const std::string from = WithoutTrailingSeparators(source);
    const std::string to = WithoutTrailingSeparators(target);
    CreateDirectoryA(to.c_str(), nullptr);
    WIN32_FIND_DATAA data;
    FindHandle find(from + "\\*.*", &data);
    if (!find.valid()) {
        return false;
    }
    do {
        if (IsLink(data) || (IsFolder(data) && IsDotOrDotDot(data.cFileName))) {
            continue;
        }
        const std::string sourceEntry = from + "\\" + data.cFileName;
        const std::string targetEntry = to + "\\" + data.cFileName;
        if (IsFolder(data)) {
            CopyFolderTree(sourceEntry, targetEntry, cancelled);
            continue;
        }
        if (cancelled && cancelled()) {
            return false;
        }
        // A read-only source copies as it is; its attribute stays: the medium's files are never
        // changed, and the copy is made writable below.
        if (!CopyFileA(sourceEntry.c_str(), targetEntry.c_str(), FALSE)) {
            return false;
        }
        SetFileAttributesA(targetEntry.c_str(), FILE_ATTRIBUTE_NORMAL);
    } while (find.Next(&data));
    return !(cancelled && cancelled());
}

namespace {

bool WriteAll(HANDLE file, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD put = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
        if (!WriteFile(file, bytes.data() + done, chunk, &put, nullptr) || put == 0) {
            return false;
        }
        done += put;
    }
    return true;
}

// The file's content replaced where it lies: written from its start, then cut to length.
bool OverwriteInPlace(HANDLE file, const std::string& bytes) {
    return SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0 && WriteAll(file, bytes) &&
           SetEndOfFile(file) && FlushFileBuffers(file);
}

}  // namespace

bool MoveFileOver(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool ReplaceFileContent(const std::string& path, const std::string& bytes,
                        const std::string& before) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    const std::string temp = path + ".trh-" + std::to_string(GetCurrentProcessId());
    {
        ScopedHandle out(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        bool written = false;
        if (out.IsValid()) {
            written = WriteAll(out.Get(), bytes) && FlushFileBuffers(out.Get());
            out.Reset();
            // The replaced file's security settings stay with its name; its attributes are set
            // again, as not every implementation of ReplaceFileA carries them over.
            if (written && ReplaceFileA(path.c_str(), temp.c_str(), nullptr,
                                        REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
                SetFileAttributesA(path.c_str(), attributes);
                return true;
            }
            DeleteFileA(temp.c_str());
        }
    }
    // No new file could take its place: the file itself is written.
    ScopedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        return false;
    }
    if (OverwriteInPlace(file.Get(), bytes)) {
        return true;
    }
    OverwriteInPlace(file.Get(), before);
    return false;
}

std::optional<std::uint64_t> FreeDiskSpace(const std::string& folder) {
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr)) {
        return std::nullopt;
    }
    return available.QuadPart;
}

bool SamePath(const std::string& a, const std::string& b) {
    return lstrcmpiA(LongPathName(a).c_str(), LongPathName(b).c_str()) == 0;
}

namespace {

// One piece of this process's token: TokenUser or TokenOwner. Empty when it cannot be read.
std::vector<BYTE> TokenPart(TOKEN_INFORMATION_CLASS part) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return {};
    }
    DWORD size = 0;
    GetTokenInformation(token, part, nullptr, 0, &size);
    std::vector<BYTE> data(size);
    if (size == 0 || !GetTokenInformation(token, part, data.data(), size, &size)) {
        data.clear();
    }
    CloseHandle(token);
    return data;
}

// Whether `owner` is this process's user, or the owner it gives what it creates (elevated, the
// administrators' group rather than the user).
bool IsOwnSid(PSID owner) {
    const std::vector<BYTE> user = TokenPart(TokenUser);
    if (!user.empty() &&
        EqualSid(owner, reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid)) {
        return true;
    }
    const std::vector<BYTE> defaultOwner = TokenPart(TokenOwner);
    return !defaultOwner.empty() &&
           EqualSid(owner, reinterpret_cast<const TOKEN_OWNER*>(defaultOwner.data())->Owner);
}

bool OwnedByThisUser(const std::string& path) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                              nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const bool own = owner != nullptr && IsOwnSid(owner);
    LocalFree(descriptor);
    return own;
}

}  // namespace

FolderClaim ClaimOf(const std::string& path) {
    const std::string name = WithoutTrailingSeparators(path);
    const DWORD attributes = GetFileAttributesA(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? FolderClaim::kFree
                   : FolderClaim::kOthers;
    }
    // A temporary folder may be shared (TEMP pointing at C:\Temp): a folder there is ours only
    // when it belongs to this user.
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    return folder && OwnedByThisUser(name) ? FolderClaim::kOurs : FolderClaim::kOthers;
}

NewFolder CreatePrivateFolder(const std::string& path, bool hidden) {
    const std::string folder = WithoutTrailingSeparators(path);
    if (!CreateDirectoryA(folder.c_str(), nullptr)) {
        return GetLastError() == ERROR_ALREADY_EXISTS ? NewFolder::kTaken : NewFolder::kFailed;
    }
    files_detail::SetFolderHidden(folder, hidden);
    return NewFolder::kCreated;
}

bool FlushToDisk(std::FILE* file) {
    if (std::fflush(file) != 0) {
        return false;
    }
    const intptr_t handle = _get_osfhandle(_fileno(file));
    return handle != -1 && FlushFileBuffers(reinterpret_cast<HANDLE>(handle)) != FALSE;
}

bool FlushFileToDisk(const std::string& path) {
    ScopedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.IsValid() && FlushFileBuffers(file.Get());
}

bool CopyOneFile(const std::string& source, const std::string& target) {
    return CopyFileA(source.c_str(), target.c_str(), FALSE) != FALSE;
}

UniqueFile OpenFile(const std::string& path, const char* mode) {
    return UniqueFile(std::fopen(path.c_str(), mode));
}

UniqueFile CreatePrivateFile(const std::string& path) {
    return OpenFile(path, "wb");
}

bool MakeFolderPrivate(const std::string&) {
    return true;
}

bool IsFileStream(std::FILE* stream) {
    struct _stat st {};
    return stream != nullptr && _fstat(_fileno(stream), &st) == 0 && (st.st_mode & _S_IFREG) != 0;
}

std::string LongPathName(const std::string& path) {
    char buffer[MAX_PATH] = {};
    const DWORD length = GetLongPathNameA(path.c_str(), buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return path;
    }
    return buffer;
}

bool ListFolder(const std::string& path, std::vector<FolderEntry>& entries) {
    entries.clear();
    WIN32_FIND_DATAA data;
    FindHandle find(WithoutTrailingSeparators(path) + "\\*.*", &data);
    if (!find.valid()) {
        return false;
    }
    do {
        if (IsFolder(data) && IsDotOrDotDot(data.cFileName)) {
            continue;
        }
        FolderEntry item;
        item.name = data.cFileName;
        if (IsLink(data)) {
            item.kind = FolderEntry::Kind::kLink;
        } else if (IsFolder(data)) {
            item.kind = FolderEntry::Kind::kFolder;
        } else {
            item.kind = FolderEntry::Kind::kFile;
        }
        entries.push_back(item);
    } while (find.Next(&data));
    return true;
}

MediaDevice::~MediaDevice() {
    const HANDLE handle = reinterpret_cast<HANDLE>(handle_);
    if (handle != INVALID_HANDLE_VALUE && handle != nullptr) {
        CloseHandle(handle);
    }
}

std::unique_ptr<MediaDevice> MediaDevice::ForFolder(const std::string& folder) {
    // Only a drive letter names a drive that can be locked; a network path has none.
    if (folder.size() < 2 || folder[1] != ':') {
        return nullptr;
    }
    const std::string drive = folder.substr(0, 2);
    const UINT type = GetDriveTypeA((drive + "\\").c_str());
    if (type != DRIVE_REMOVABLE && type != DRIVE_CDROM) {
        return nullptr;
    }
    const HANDLE handle =
        CreateFileA(("\\\\.\\" + drive).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return std::unique_ptr<MediaDevice>(new MediaDevice(reinterpret_cast<std::intptr_t>(handle)));
}

namespace {

void SetMediaRemoval(std::intptr_t handle, bool prevent) {
    BYTE flag = prevent ? 1 : 0;
    DWORD returned = 0;
    DeviceIoControl(reinterpret_cast<HANDLE>(handle), IOCTL_STORAGE_MEDIA_REMOVAL, &flag,
                    sizeof(flag), nullptr, 0, &returned, nullptr);
}

}  // namespace

void LockMedia(MediaDevice* device) {
    if (device != nullptr) {
        SetMediaRemoval(device->handle_, true);
    }
}

void UnlockMedia(MediaDevice* device) {
    if (device != nullptr) {
        SetMediaRemoval(device->handle_, false);
    }
}
