#include "config/ini_file.h"

#include <cstring>

namespace ZUL {

namespace {

constexpr std::size_t kInitialStringBuffer = 1024;
constexpr int kMaxBufferDoublings = 10;

const std::string& Pick(const std::string& given, const std::string& remembered) {
    return given.empty() ? remembered : given;
}

}  // namespace

std::string CIniFile::GetString(const std::string& key, const std::string& defaultValue,
                                const std::string& section, const std::string& path) const {
    const std::string& iniPath = Pick(path, path_);
    if (section.empty() || iniPath.empty()) {
        return defaultValue;
    }
    // The profile functions cannot say how long a value is: a buffer that came back (nearly)
    // full may have cut it, so read again with twice the room, up to a limit.
    std::string buffer;
    std::size_t size = kInitialStringBuffer;
    for (int doublings = 0;; ++doublings) {
        buffer.assign(size, '\0');
        const std::size_t copied =
            ReadProfileString(section, key, defaultValue, &buffer[0], size, iniPath);
        if (copied + 2 < size || doublings == kMaxBufferDoublings) {
            break;
        }
        size *= 2;
    }
    buffer.resize(std::strlen(buffer.c_str()));
    return buffer;
}

int CIniFile::GetInt(const std::string& key, int defaultValue, const std::string& section,
                     const std::string& path) const {
    const std::string& iniPath = Pick(path, path_);
    if (section.empty() || iniPath.empty()) {
        return defaultValue;
    }
    return ReadProfileInt(section, key, defaultValue, iniPath);
}

bool CIniFile::GetBool(const std::string& key, bool defaultValue, const std::string& section,
                       const std::string& path) const {
    return GetInt(key, defaultValue ? 1 : 0, section, path) != 0;
}

}  // namespace ZUL
