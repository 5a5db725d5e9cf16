// The lookup rules of INI ("profile") text, as the Windows profile functions apply them, as pure
// functions: the Linux reader is built on them, and the tests hold them against Windows.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ZUL {

// The value of `key` in `section` of INI text, or nothing when the key is missing or has no '='.
// Section and key names match without regard to case and to blanks around them (also inside
// the brackets); only the first section of a name counts, and in it the first line of the key.
// Blanks around the value and one pair of matching quotes around it are removed.
std::optional<std::string> FindIniValue(std::string_view text, std::string_view section,
                                        std::string_view key);

// The number formed by the leading decimal digits (after leading blanks); 0 when there are none.
int LeadingDecimalNumber(std::string_view text);

}  // namespace ZUL
