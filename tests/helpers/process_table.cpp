// Lists the machine's processes, one a line: "<id><TAB><executable path>" (the name alone when the
// path cannot be read). Under Wine these are the ids and paths that Windows programs see, which
// the end-to-end tests compare with the Linux side. The list is read here with the system's own
// calls, not with the program's process list, so that the tests' view of what runs does not rest
// on the code they check (a 32-bit program reads a 64-bit one's path only through
// QueryFullProcessImageNameA). Ends with 1 when no list could be taken.
#include <cstdio>

#ifdef _WIN32
#include <windows.h>

#include <tlhelp32.h>

int main() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 1;
    }
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        char path[MAX_PATH] = {};
        DWORD size = MAX_PATH;
        const HANDLE process =
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        const bool read =
            process != nullptr && QueryFullProcessImageNameA(process, 0, path, &size) != 0;
        if (process != nullptr) {
            CloseHandle(process);
        }
        std::printf("%lu\t%s\n", static_cast<unsigned long>(entry.th32ProcessID),
                    read ? path : entry.szExeFile);
    }
    CloseHandle(snapshot);
    return 0;
}
#else
#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <string>

int main() {
    DIR* proc = opendir("/proc");
    if (proc == nullptr) {
        return 1;
    }
    while (const dirent* entry = readdir(proc)) {
        if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0]))) {
            continue;
        }
        char path[4096] = {};
        const std::string link = std::string("/proc/") + entry->d_name + "/exe";
        const ssize_t n = readlink(link.c_str(), path, sizeof(path) - 1);
        std::printf("%s\t%s\n", entry->d_name, n > 0 ? path : "");
    }
    closedir(proc);
    return 0;
}
#endif
