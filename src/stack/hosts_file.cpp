#include "stack/hosts_file.h"

#include <cstdio>
#include <string>
#include <vector>

#include "sys/files.h"
#include "sys/folders.h"

namespace {

const char kBlockStart[] = "#---TRH_START---";
const char kBlockEnd[] = "#---TRH_END---";

#ifdef _WIN32
const char kEol[] = "\r\n";
#else
const char kEol[] = "\n";
#endif

// A line without its line end.
std::string Bare(const std::string& line) {
    std::string bare = line;
    while (!bare.empty() && (bare.back() == '\n' || bare.back() == '\r')) {
        bare.pop_back();
    }
    return bare;
}

// Whether a block's entry line names the host (and the address, when one is given): the address,
// blanks, the host name.
bool NamesHost(const std::string& line, const std::string& hostName, const std::string& localIp) {
    const std::string bare = Bare(line);
    const std::size_t gap = bare.find_first_of(" \t");
    if (gap == std::string::npos || (!localIp.empty() && bare.compare(0, gap, localIp) != 0)) {
        return false;
    }
    const std::size_t name = bare.find_first_not_of(" \t", gap);
    return name != std::string::npos && bare.compare(name, std::string::npos, hostName) == 0;
}

// Text that can stand as one field of a hosts line.
bool IsLineField(const std::string& text) {
    return !text.empty() && text.find_first_of(" \t\r\n#") == std::string::npos;
}

bool ReadWhole(const std::string& path, std::string& bytes) {
    UniqueFile in = OpenFile(path, "rb");
    if (!in || !IsFileStream(in.get())) {
        return false;
    }
    bytes.clear();
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof(buffer), in.get())) > 0) {
        bytes.append(buffer, got);
    }
    return !std::ferror(in.get());
}

bool WriteWhole(const std::string& path, const std::string& bytes) {
    UniqueFile out = OpenFile(path, "wb");
    if (!out) {
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out.get()) == bytes.size();
    return std::fclose(out.release()) == 0 && written;
}

std::vector<std::string> Lines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::string line;
    for (const char c : bytes) {
        line += c;
        if (c == '\n') {
            lines.push_back(std::move(line));
            line.clear();
        }
    }
    if (!line.empty()) {
        lines.push_back(std::move(line));
    }
    return lines;
}

// Where a block for the host starts among the lines: the start marker of the last one followed
// by an entry for the host and an end marker; lines.size() when there is none.
std::size_t FindBlock(const std::vector<std::string>& lines, const std::string& hostName,
                      const std::string& localIp) {
    for (std::size_t i = lines.size(); i-- > 0;) {
        if (Bare(lines[i]) == kBlockStart && i + 2 < lines.size() &&
            NamesHost(lines[i + 1], hostName, localIp) && Bare(lines[i + 2]) == kBlockEnd) {
            return i;
        }
    }
    return lines.size();
}

std::size_t CountBlocks(const std::string& bytes, const std::string& hostName,
                        const std::string& localIp) {
    std::vector<std::string> lines = Lines(bytes);
    std::size_t count = 0;
    for (std::size_t at = FindBlock(lines, hostName, localIp); at != lines.size();
         at = FindBlock(lines, hostName, localIp)) {
        lines.resize(at);
        ++count;
    }
    return count;
}

}  // namespace

std::string SystemHostsFilePath() {
#ifdef _WIN32
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
    if (!IsLineField(hostName) || !IsLineField(localIp)) {
        return false;
    }
    std::string before;
    if (!ReadWhole(hostsPath, before) || !WriteWhole(HostsBackupPath(runtimeFolder), before)) {
        return false;
    }
    const std::string block = std::string(kEol) + kBlockStart + kEol + localIp + "\t" + hostName +
                              kEol + kBlockEnd + kEol;
    if (!ReplaceFileContent(hostsPath, before + block, before)) {
        return false;
    }
    // Read back: a write that went elsewhere (a per-program copy of a system file) does not give
    // the site its name. The file must hold one block more than before.
    std::string after;
    return ReadWhole(hostsPath, after) &&
           CountBlocks(after, hostName, localIp) > CountBlocks(before, hostName, localIp);
}

HostsRemoval RemoveHostsEntry(const std::string& hostName, const std::string& localIp,
                              const std::string& hostsPath) {
    std::string before;
    if (!ReadWhole(hostsPath, before)) {
        return PathExists(hostsPath) ? HostsRemoval::kFailed : HostsRemoval::kNotThere;
    }
    std::vector<std::string> lines = Lines(before);
    const std::size_t start = FindBlock(lines, hostName, localIp);
    if (start == lines.size()) {
        return HostsRemoval::kNotThere;
    }
    // The line end in front of the marker came with the block: an empty line, or, when the file
    // did not end with a line end and nothing was added after the block, the end of the line
    // before.
    std::size_t from = start;
    if (start > 0 && Bare(lines[start - 1]).empty()) {
        from = start - 1;
    } else if (start > 0 && start + 3 == lines.size()) {
        std::string& last = lines[start - 1];
        const std::string eol = kEol;
        if (last.size() >= eol.size() &&
            last.compare(last.size() - eol.size(), eol.size(), eol) == 0) {
            last.resize(last.size() - eol.size());
        }
    }
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(from),
                lines.begin() + static_cast<std::ptrdiff_t>(start + 3));
    std::string kept;
    for (const std::string& line : lines) {
        kept += line;
    }
    if (!ReplaceFileContent(hostsPath, kept, before)) {
        return HostsRemoval::kFailed;
    }
    // Read back, as for the entry: the file must hold one such block fewer than before.
    std::string after;
    return ReadWhole(hostsPath, after) &&
                   CountBlocks(after, hostName, localIp) < CountBlocks(before, hostName, localIp)
               ? HostsRemoval::kRemoved
               : HostsRemoval::kFailed;
}
