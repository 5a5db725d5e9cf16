// The lookup rules of INI ("profile") text, as the Windows profile functions apply them, as pure
// functions: the Linux reader is built on them, and the tests hold them against Windows.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ZUL {

// The value of `key` in `section` of INI text, or nothing when the key is missing or has no '='.
// Section and key names match without regard to case and to blanks around them (also inside
// the brackets); only the first section of a name counts, and in it the first line of the key.
// Blanks around the value and one pair of matching quotes around it are removed.
std::optional<std::string> FindIniValue(std::string_view text, std::string_view section,
                                        std::string_view key);

// A line of INI text that is not blank: a section header, or a key line. Names and values are
// read as FindIniValue reads them, so a comment line such as ";Port=1" is the key line of ";Port".
struct IniLine {
    int number = 0;  // counted from 1
    bool isSection = false;
    std::string section;  // the header's name, or that of the section a key line lies in
    int sectionLine = 0;  // the line of that header; 0 for a key line before every header
    std::string key;
    std::optional<std::string> value;  // none for a key line without '='
    // The earlier line that keeps the lookup from ever reading this one: the first header of the
    // same section name, or the first line of the same key in the section; 0 otherwise. A key line
    // before every header is never read either.
    int hiddenBy = 0;
};

// Every line of the text that is not blank, in order.
std::vector<IniLine> ListIniLines(std::string_view text);

// The number formed by the leading decimal digits (after leading blanks); 0 when there are none.
int LeadingDecimalNumber(std::string_view text);

}  // namespace ZUL
