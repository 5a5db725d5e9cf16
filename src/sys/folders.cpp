#include "sys/folders.h"

#include <algorithm>

std::string NativeSeparators(const std::string& path) {
    std::string result = path;
    if (kPathSeparator == '/') {
        std::replace(result.begin(), result.end(), '\\', '/');
    }
    return result;
}

bool IsPathSeparator(char c) {
    // '/' on both platforms; Windows also takes its own backslash.
    return c == '/' || (kPathSeparator == '\\' && c == '\\');
}

std::string WithoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && IsPathSeparator(path.back())) {
        path.pop_back();
    }
    return path;
}

std::string WithTrailingSeparator(std::string folder) {
    if (!folder.empty() && !IsPathSeparator(folder.back())) {
        folder += kPathSeparator;
    }
    return folder;
}
