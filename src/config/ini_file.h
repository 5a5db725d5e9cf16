// Reading INI ("profile") files: the Windows profile functions on Windows, a reader of our own
// that follows the same lookup rules elsewhere.
#pragma once

#include <cstddef>
#include <string>

namespace ZUL {

class CIniFile {
public:
    // No file: every getter returns its default.
    CIniFile() = default;
    // `path` is used unchanged; on Windows a bare file name is looked for in the Windows folder.
    explicit CIniFile(const std::string& path) : path_(path) {}

    // An empty `path` stands for the one given to the constructor. When the section or the path
    // in effect is empty, or the file, section or key is missing, the default is returned
    // (trailing blanks of the default are dropped when a file was asked). A key with an empty
    // value gives the empty string.
    std::string GetString(const std::string& key, const std::string& defaultValue,
                          const std::string& section = {}, const std::string& path = {}) const;
    // The number formed by the value's leading decimal digits, 0 when it starts with none; the
    // default when the key is missing or its value is empty.
    int GetInt(const std::string& key, int defaultValue, const std::string& section = {},
               const std::string& path = {}) const;
    // GetInt with the default as 0 or 1: any non-zero number is true, so "yes" is false.
    bool GetBool(const std::string& key, bool defaultValue, const std::string& section = {},
                 const std::string& path = {}) const;

private:
    // The platform's profile reads, with the contract of GetPrivateProfileStringA and
    // GetPrivateProfileIntA: the string is copied cut to size - 1 characters and 0-terminated,
    // and the number of characters copied is returned.
    static std::size_t ReadProfileString(const std::string& section, const std::string& key,
                                         const std::string& defaultValue, char* buffer,
                                         std::size_t size, const std::string& path);
    static int ReadProfileInt(const std::string& section, const std::string& key, int defaultValue,
                              const std::string& path);

    std::string path_;
};

}  // namespace ZUL
