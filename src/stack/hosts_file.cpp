#include "stack/hosts_file.h"

#include <cstdio>

#include "sys/files.h"
#include "sys/folders.h"

namespace {

bool CopyStream(std::FILE* from, std::FILE* to) {
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof(buffer), from)) > 0) {
        if (std::fwrite(buffer, 1, got, to) != got) {
            return false;
        }
    }
    return !std::ferror(from);
}

// Copies a file byte for byte; false when either side fails.
bool CopyExactly(const std::string& from, const std::string& to) {
    UniqueFile in = OpenFile(from, "rb");
    if (!in) {
        return false;
    }
    UniqueFile out = OpenFile(to, "wb");
    if (!out) {
        return false;
    }
    const bool copied = CopyStream(in.get(), out.get());
    return std::fclose(out.release()) == 0 && copied;
}

}  // namespace

std::string SystemHostsFilePath() {
#ifdef _WIN32
    constexpr int kCsidlSystem = 37;
    return GetSpecialFolderPath(kCsidlSystem) + "\\drivers\\etc\\hosts";
#else
    return "/etc/hosts";
#endif
}

std::string HostsBackupPath(const std::string& runtimeFolder) {
    return runtimeFolder + "hosts";
}

bool AddHostsEntry(const std::string& hostName, const std::string& localIp,
                   const std::string& runtimeFolder, const std::string& hostsPath) {
    if (!CopyExactly(hostsPath, HostsBackupPath(runtimeFolder))) {
        return false;
    }
    UniqueFile hosts = OpenFile(hostsPath, "a");
    if (!hosts) {
        return false;
    }
    const std::string block =
        "\n#---TRH_START---\n" + localIp + "\t" + hostName + "\n#---TRH_END---\n";
    const bool written = std::fputs(block.c_str(), hosts.get()) >= 0;
    return std::fclose(hosts.release()) == 0 && written;
}

void RestoreHostsFile(const std::string& runtimeFolder, const std::string& hostsPath) {
    const std::string backup = HostsBackupPath(runtimeFolder);
    if (!PathExists(backup)) {
        return;
    }
    UniqueFile in = OpenFile(backup, "rb");
    if (!in) {
        return;
    }
    UniqueFile out = OpenFile(hostsPath, "wb");
    if (!out) {
        return;
    }
    CopyStream(in.get(), out.get());
}
