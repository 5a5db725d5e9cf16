#include "stack/hosts_file.h"

#include <cstdio>
#include <string>
#include <vector>

#include "sys/files.h"
#include "sys/folders.h"

namespace {

const char kBlockStart[] = "#---TRH_START---";
const char kBlockEnd[] = "#---TRH_END---";

// A line without its line end.
std::string Bare(const std::string& line) {
    std::string bare = line;
    while (!bare.empty() && (bare.back() == '\n' || bare.back() == '\r')) {
        bare.pop_back();
    }
    return bare;
}

// Whether a block's entry line names the host: the address, blanks, the host name.
bool NamesHost(const std::string& line, const std::string& hostName) {
    const std::string bare = Bare(line);
    const std::size_t gap = bare.find_first_of(" \t");
    if (gap == std::string::npos) {
        return false;
    }
    const std::size_t name = bare.find_first_not_of(" \t", gap);
    return name != std::string::npos && bare.compare(name, std::string::npos, hostName) == 0;
}

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
    if (std::fclose(hosts.release()) == 0 && written) {
        return true;
    }
    // Part of the block may have gone in (a full disk); the stop puts back only an entry that was
    // made, so the saved file goes back now.
    CopyExactly(HostsBackupPath(runtimeFolder), hostsPath);
    return false;
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

bool RemoveHostsEntry(const std::string& hostName, const std::string& hostsPath) {
    std::vector<std::string> lines;
    {
        UniqueFile in = OpenFile(hostsPath, "rb");
        if (!in) {
            return false;
        }
        std::string line;
        for (int c = std::fgetc(in.get()); c != EOF; c = std::fgetc(in.get())) {
            line += static_cast<char>(c);
            if (c == '\n') {
                lines.push_back(std::move(line));
                line.clear();
            }
        }
        if (!line.empty()) {
            lines.push_back(std::move(line));
        }
    }
    std::vector<std::string> kept;
    bool removed = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        // Start marker, one entry naming the host, end marker: the block a run appended.
        if (Bare(lines[i]) == kBlockStart && i + 2 < lines.size() &&
            NamesHost(lines[i + 1], hostName) && Bare(lines[i + 2]) == kBlockEnd) {
            // The empty line in front of the block came with it.
            if (!kept.empty() && Bare(kept.back()).empty()) {
                kept.pop_back();
            }
            i += 2;
            removed = true;
            continue;
        }
        kept.push_back(lines[i]);
    }
    if (!removed) {
        return false;
    }
    UniqueFile out = OpenFile(hostsPath, "wb");
    if (!out) {
        return false;
    }
    bool written = true;
    for (const std::string& line : kept) {
        written = written && std::fwrite(line.data(), 1, line.size(), out.get()) == line.size();
    }
    return std::fclose(out.release()) == 0 && written;
}
