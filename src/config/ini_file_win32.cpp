// Windows only: INI files are read by the system's profile functions.
#include "config/ini_file.h"

#include <windows.h>

namespace ZUL {

std::size_t CIniFile::ReadProfileString(const std::string& section, const std::string& key,
                                        const std::string& defaultValue, char* buffer,
                                        std::size_t size, const std::string& path) {
    return GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), buffer,
                                    static_cast<DWORD>(size), path.c_str());
}

int CIniFile::ReadProfileInt(const std::string& section, const std::string& key, int defaultValue,
                             const std::string& path) {
    return static_cast<int>(
        GetPrivateProfileIntA(section.c_str(), key.c_str(), defaultValue, path.c_str()));
}

}  // namespace ZUL
