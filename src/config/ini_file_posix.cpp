// Linux only: INI files are read by our own reader, which follows the rules of the Windows
// profile functions (config/ini_text.h).
#include "config/ini_file.h"
#include "config/ini_text.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>

namespace ZUL {

namespace {

std::optional<std::string> ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::size_t CIniFile::ReadProfileString(const std::string& section, const std::string& key,
                                        const std::string& defaultValue, char* buffer,
                                        std::size_t size, const std::string& path) {
    if (size == 0) {
        return 0;
    }
    std::optional<std::string> value;
    if (const auto text = ReadText(path)) {
        value = FindIniValue(*text, section, key);
    }
    if (!value) {
        // The Windows function drops trailing blanks of the default, too.
        value = defaultValue.substr(0, defaultValue.find_last_not_of(' ') + 1);
    }
    const std::size_t copied = std::min(value->size(), size - 1);
    std::copy_n(value->data(), copied, buffer);
    buffer[copied] = '\0';
    return copied;
}

int CIniFile::ReadProfileInt(const std::string& section, const std::string& key, int defaultValue,
                             const std::string& path) {
    // The Windows function reads the value into a buffer of 30 characters, with an empty default.
    char buffer[30];
    if (ReadProfileString(section, key, "", buffer, sizeof(buffer), path) == 0) {
        return defaultValue;
    }
    return LeadingDecimalNumber(buffer);
}

}  // namespace ZUL
