#include "zip_limits.h"

#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "stack/zip_reader.h"

namespace fuzzlimits {

namespace {

constexpr rlim_t kMaxFileSize = 256 * 1024;

}  // namespace

void CapFileSize() {
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
