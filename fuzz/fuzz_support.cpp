#include "fuzz_support.h"

#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "stack/zip_reader.h"
#include "sys/files.h"
#include "sys/folders.h"

namespace fuzzsupport {

const std::string& ScratchFolder() {
    static const std::string folder = [] {
        std::string pattern = GetTempFolder() + "trailhost-fuzz-XXXXXX";
        if (mkdtemp(&pattern[0]) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        return pattern + "/";
    }();
    static const bool registered = std::atexit([] { DeleteFolderTree(ScratchFolder()); }) == 0;
    static_cast<void>(registered);
    return folder;
}

void Fail(const char* file, int line, const char* rule, std::string_view detail) {
    // The input itself is what libFuzzer keeps; the detail is its start, as it is.
    std::fprintf(stderr, "%s:%d: broken rule: %s\n  %.*s\n", file, line, rule,
                 static_cast<int>(std::min<std::size_t>(detail.size(), 400)), detail.data());
    std::fflush(stderr);
    std::abort();
}

void WriteBytes(const std::string& path, std::string_view bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    FUZZ_CHECK(!file.fail(), path);
}

std::string ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<std::string> TreeBelow(const std::string& folder) {
    namespace fs = std::filesystem;
    std::vector<std::string> out;
    std::error_code error;
    // The iterator enters no link; a link to a folder is listed as a file.
    for (auto it = fs::recursive_directory_iterator(folder, error);
         it != fs::recursive_directory_iterator(); it.increment(error)) {
        const bool isFolder = !it->is_symlink() && it->is_directory();
        out.push_back(it->path().string().substr(folder.size()) + (isFolder ? "/" : ""));
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> out;
    for (const std::string& path : TreeBelow(folder)) {
        const size_t slash = path.find('/');
        if (slash == std::string::npos || slash + 1 == path.size()) {
            out.push_back(path);
        }
    }
    return out;
}

std::vector<std::string> Lines(const std::string& text, std::size_t limit) {
    std::vector<std::string> lines;
    for (size_t from = 0; from <= text.size() && lines.size() < limit;) {
        const size_t end = std::min(text.find('\n', from), text.size());
        lines.push_back(text.substr(from, end - from));
        from = end + 1;
    }
    return lines;
}

std::string SwapCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        } else if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

}  // namespace fuzzsupport

namespace fuzzlimits {

void CapFileSize() {
    constexpr rlim_t kMaxFileSize = 256 * 1024;
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    limit.rlim_cur = kMaxFileSize;
    limit.rlim_max = kMaxFileSize;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
        std::perror("setrlimit");
        std::abort();
    }
}

std::set<std::string> PathsOfSafeItems(const ZipReader& zip) {
    std::set<std::string> paths;
    for (int i = 0; i < zip.Count(); ++i) {
        std::string name = zip.Name(i);
        if (!IsSafeItemName(name)) {
            continue;
        }
        for (char& c : name) {
            c = c == '\\' ? '/' : c;
        }
        for (size_t slash = name.find('/'); slash != std::string::npos;
             slash = name.find('/', slash + 1)) {
            paths.insert(name.substr(0, slash + 1));
        }
        paths.insert(name);
    }
    return paths;
}

}  // namespace fuzzlimits
