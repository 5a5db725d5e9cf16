// Letter case in names and keys, as every layer compares them: the configuration's keys and
// values, program and file names. Only the ASCII letters have a case here.
#pragma once

#include <string>
#include <string_view>

std::string Lower(std::string_view text);
std::string Upper(std::string_view text);

bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view start);
