// INI text as hub_config.ini: the lookup rules (FindIniValue, LeadingDecimalNumber) on the input
// as it is, the file reader on the same text as a file, and ReadSettings of that file. Names are
// looked up both from the launcher's own settings and from the sections and keys the text holds.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "config/ini_file.h"
#include "config/ini_text.h"
#include "config/settings.h"
#include "fuzz_support.h"

using fuzzsupport::SwapCase;

namespace {

constexpr size_t kMaxNamesFromText = 8;

// Some of the sections and keys the launcher reads.
const std::pair<const char*, const char*> kSettingNames[] = {
    {"http", "Port"},
    {"General", "ServerName"},
    {"database", "MySQLPort"},
    {"AdditionalParsing", "File1"},
};

// The keys the text holds (the part before '='), each with the section heading above it, as
// written; keys above any heading go with "".
std::vector<std::pair<std::string, std::string>> NamesInText(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> names;
    std::string section;
    for (const std::string& line : fuzzsupport::Lines(text, text.size() + 1)) {
        const size_t close = line.rfind(']');
        const size_t equals = line.find('=');
        if (!line.empty() && line[0] == '[' && close != std::string::npos) {
            section = line.substr(1, close - 1);
        } else if (equals != std::string::npos && names.size() < kMaxNamesFromText) {
            names.emplace_back(section, line.substr(0, equals));
        }
    }
    return names;
}

// The number of up to nine decimal digits after leading bytes up to blank, worked out on its
// own; nothing for ten digits or more, where the value wraps.
std::optional<int> SmallLeadingNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') {
        ++i;
    }
    int number = 0;
    int digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (++digits > 9) {
            return std::nullopt;
        }
        number = number * 10 + (text[i] - '0');
    }
    return number;
}

void CheckLookup(const std::string& text, const std::string& path, const std::string& section,
                 const std::string& key) {
    const std::optional<std::string> value = ZUL::FindIniValue(text, section, key);
    const std::string detail = "[" + section + "] " + key + " in " + text;

    // Names match without regard to case and to blanks around them.
    FUZZ_CHECK(ZUL::FindIniValue(text, " " + SwapCase(section) + "\t",
                                 "\t" + SwapCase(key) + " ") == value,
               detail);
    if (value) {
        // A value is what follows '=' on one line.
        FUZZ_CHECK(value->find('\n') == std::string::npos, detail);
        if (const std::optional<int> number = SmallLeadingNumber(*value)) {
            FUZZ_CHECK(ZUL::LeadingDecimalNumber(*value) == *number, *value);
        }
    }

    // The file reader gives the same answer; its values are C strings, so a zero byte ends them.
    const ZUL::CIniFile ini(path);
    const std::string got = ini.GetString(key, "(default)", section);
    if (section.empty()) {
        FUZZ_CHECK(got == "(default)", detail);
        return;
    }
    const std::string expected = value ? value->substr(0, value->find('\0')) : "(default)";
    FUZZ_CHECK(got == expected, detail + " gave " + got);

    // Numbers: the default for a missing key or an empty value, else the leading digits. The
    // profile functions read numbers through a short buffer, so only short values are held to
    // the digits here.
    const int number = ini.GetInt(key, 77, section);
    if (!value || value->empty()) {
        FUZZ_CHECK(number == 77, detail);
        FUZZ_CHECK(ini.GetBool(key, true, section) && !ini.GetBool(key, false, section), detail);
    } else if (value->size() < 30 && value->find('\0') == std::string::npos) {
        FUZZ_CHECK(number == ZUL::LeadingDecimalNumber(*value), detail);
        FUZZ_CHECK(ini.GetBool(key, true, section) == (number != 0), detail);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = fuzzsupport::Text(data, size);
    const std::string path = fuzzsupport::ScratchFolder() + "hub_config.ini";
    fuzzsupport::WriteBytes(path, text);

    static_cast<void>(ZUL::LeadingDecimalNumber(text));

    for (const auto& [section, key] : kSettingNames) {
        CheckLookup(text, path, section, key);
    }
    for (const auto& [section, key] : NamesInText(text)) {
        CheckLookup(text, path, section, key);
    }

    AppSettings settings;
    ReadSettings(settings, path);
    return 0;
}
