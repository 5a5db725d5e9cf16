// Windows only: folders from the module, the shell and the registry; the local address.
#include "sys/folders.h"

#include <winsock2.h>
#include <windows.h>
#include <shlobj.h>

namespace {

// The shell's item list for a folder, freed through the shell's allocator.
class ItemList {
public:
    explicit ItemList(IMalloc* allocator) : allocator_(allocator) {}
    ~ItemList() {
        if (list_ != nullptr) {
            allocator_->Free(list_);
        }
        allocator_->Release();
    }
    ItemList(const ItemList&) = delete;
    ItemList& operator=(const ItemList&) = delete;

    LPITEMIDLIST* out() { return &list_; }
    LPCITEMIDLIST get() const { return list_; }

private:
    IMalloc* allocator_;
    LPITEMIDLIST list_ = nullptr;
};

std::string ProgramFilesFromRegistry() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0,
                      KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        return "";
    }
    char value[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH;
    DWORD type = 0;
    std::string result;
    if (RegQueryValueExA(key, "ProgramFilesDir", nullptr, &type, reinterpret_cast<BYTE*>(value),
                         &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
        result = value;
    }
    RegCloseKey(key);
    return result;
}

}  // namespace

std::string GetModuleFolder() {
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string result = path;
    return result.substr(0, result.find_last_of('\\') + 1);
}

std::string GetTempFolder() {
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(MAX_PATH, path);
    if (length == 0 || length > MAX_PATH) {
        return "";
    }
    return path;
}

std::string GetSpecialFolderPath(int csidl) {
    IMalloc* allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator)) || allocator == nullptr) {
        return "";
    }
    ItemList items(allocator);
    char path[MAX_PATH + 1] = {};
    if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, csidl, items.out())) &&
        items.get() != nullptr) {
        SHGetPathFromIDListA(items.get(), path);
    }
    std::string result = path;
    // Some shells hand back a folder with a trailing separator; callers add their own.
    while (!result.empty() && result.back() == '\\') {
        result.pop_back();
    }
    if (result.empty()) {
        if (csidl == CSIDL_WINDOWS) {
            result = "C:\\Windows";
        } else if (csidl == CSIDL_PROGRAM_FILES) {
            result = ProgramFilesFromRegistry();
        }
    }
    return result;
}

std::string GetLocalIpAddress(int index) {
    // The socket library counts its users, so starting it here is harmless for a caller that
    // already did.
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) {
        return "";
    }
    std::string result;
    char name[256] = {};
    if (gethostname(name, sizeof(name)) == 0) {
        const hostent* host = gethostbyname(name);
        if (host != nullptr && host->h_length == 4 && index >= 0) {
            int i = 0;
            while (i < index && host->h_addr_list[i] != nullptr) {
                ++i;
            }
            const auto* bytes = reinterpret_cast<const unsigned char*>(host->h_addr_list[i]);
            if (bytes != nullptr) {
                char text[16];
                wsprintfA(text, "%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
                result = text;
            }
        }
    }
    WSACleanup();
    return result;
}
