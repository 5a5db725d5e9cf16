// Linux only: the nearest equivalents of the Windows shell folders; the local address.
#include "sys/folders.h"

#include <netdb.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "sys/environment.h"

namespace {

// The documents folder as the desktop's user-dirs file names it, else ~/Documents.
std::string DocumentsFolder() {
    const std::string home = GetEnvironmentValue("HOME");
    std::string config = GetEnvironmentValue("XDG_CONFIG_HOME");
    if (config.empty()) {
        config = home + "/.config";
    }
    std::ifstream dirs(config + "/user-dirs.dirs");
    std::string line;
    const std::string key = "XDG_DOCUMENTS_DIR=";
    while (std::getline(dirs, line)) {
        if (line.compare(0, key.size(), key) != 0) {
            continue;
        }
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (value.compare(0, 5, "$HOME") == 0) {
            value = home + value.substr(5);
        }
        return WithoutTrailingSeparators(value);
    }
    return home.empty() ? "" : home + "/Documents";
}

}  // namespace

std::string GetModuleFolder() {
    std::vector<char> buffer(4096);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) {
        return "";
    }
    const std::string path(buffer.data(), static_cast<size_t>(length));
    return path.substr(0, path.find_last_of('/') + 1);
}

std::string GetTempFolder() {
    std::string folder = GetEnvironmentValue("TMPDIR");
    if (folder.empty()) {
        folder = "/tmp";
    }
    if (folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

std::string GetSpecialFolderPath(int csidl) {
    switch (csidl) {
        case kCsidlProgramFiles:
            return "/usr";
        case kCsidlWindows:
        case kCsidlSystem:
            // The root folder without its trailing separator, so that "{WIN}/x" is "/x".
            return "";
        case kCsidlPersonal:
            return DocumentsFolder();
        case kCsidlAppData:
            return WithoutTrailingSeparators(GetEnvironmentValue("HOME"));
        default:
            return "";
    }
}

std::string GetLocalIpAddress(int index) {
    char name[256] = {};
    if (gethostname(name, sizeof(name) - 1) != 0 || index < 0) {
        return "";
    }
    hostent entry{};
    hostent* host = nullptr;
    std::vector<char> work(8192);
    int error = 0;
    if (gethostbyname_r(name, &entry, work.data(), work.size(), &host, &error) != 0 ||
        host == nullptr || host->h_length != 4) {
        return "";
    }
    for (int i = 0; i < index; ++i) {
        if (host->h_addr_list[i] == nullptr) {
            return "";
        }
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(host->h_addr_list[index]);
    if (bytes == nullptr) {
        return "";
    }
    char text[16];
    std::snprintf(text, sizeof(text), "%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
    return text;
}
