#include "sys/folders.h"

#include <algorithm>

std::string NativeSeparators(const std::string& path) {
    std::string result = path;
    if (kPathSeparator == '/') {
        std::replace(result.begin(), result.end(), '\\', '/');
    }
    return result;
}
