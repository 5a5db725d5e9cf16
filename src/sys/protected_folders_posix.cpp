// Linux only: the user's and the system's folders, the mount points, and real paths.
#include "sys/protected_folders.h"

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "sys/folders.h"

namespace {

// The system's folders under "/" and the busiest ones below them.
const char* const kSystemFolders[] = {
    "/bin",     "/boot",      "/dev",      "/etc",       "/home",    "/lib",    "/lib32",
    "/lib64",   "/media",     "/mnt",      "/opt",       "/proc",    "/root",   "/run",
    "/sbin",    "/srv",       "/sys",      "/tmp",       "/usr",     "/var",    "/usr/bin",
    "/usr/lib", "/usr/local", "/usr/sbin", "/usr/share", "/var/lib", "/var/tmp"};

// The mount table writes a blank, tab, line feed and backslash of a path as octal escapes.
std::string Unescaped(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size()) {
            const std::string digits = text.substr(i + 1, 3);
            if (digits.find_first_not_of("01234567") == std::string::npos) {
                out += static_cast<char>(std::strtol(digits.c_str(), nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

void AddMountPoints(std::vector<std::string>& folders) {
    std::ifstream mounts("/proc/self/mountinfo");
    std::string line;
    while (std::getline(mounts, line)) {
        // id parent major:minor root mount-point ...
        std::istringstream fields(line);
        std::string id, parent, device, root, point;
        if (fields >> id >> parent >> device >> root >> point) {
            folders.push_back(Unescaped(point));
        }
    }
}

// Where the path really is, links followed; empty when it is not there.
std::string RealPath(const std::string& path) {
    char real[PATH_MAX];
    return realpath(path.c_str(), real) != nullptr ? real : "";
}

// The folder as named and, when a link leads there, where it really is.
void AddIfKnown(std::vector<std::string>& folders, const std::string& folder) {
    if (folder.empty()) {
        return;
    }
    folders.push_back(folder);
    const std::string real = RealPath(folder);
    if (!real.empty()) {
        folders.push_back(real);
    }
}

}  // namespace

std::vector<std::string> MachineProtectedFolders(const std::string& stackFolder) {
    std::vector<std::string> folders(std::begin(kSystemFolders), std::end(kSystemFolders));
    const std::string home = GetSpecialFolderPath(kCsidlAppData);
    AddIfKnown(folders, home);
    if (!home.empty()) {
        folders.push_back(home + "/Desktop");
    }
    AddIfKnown(folders, GetSpecialFolderPath(kCsidlPersonal));
    AddIfKnown(folders, GetTempFolder());
    AddIfKnown(folders, stackFolder);
    AddIfKnown(folders, GetModuleFolder());
    AddMountPoints(folders);
    return folders;
}

bool IsProtectedOnThisMachine(const std::string& folder, const std::string& stackFolder) {
    const std::vector<std::string> folders = MachineProtectedFolders(stackFolder);
    const std::string real = RealPath(folder);
    return IsProtectedFolder(folder, folders) ||
           (!real.empty() && IsProtectedFolder(real, folders));
}
