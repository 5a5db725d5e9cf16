#include "config/ini_text.h"
#include "sys/text.h"

#include <cctype>
#include <cstdint>
#include <map>
#include <utility>

namespace ZUL {

namespace {

// Ctrl-Z counts as a blank because old editors end a text file with it.
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == 0x1a;
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    return s;
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

std::string_view Trim(std::string_view s) {
    return TrimRight(TrimLeft(s));
}

// The next line and the rest after it. Lines end at '\n'; a text with no '\n' left is cut at
// '\r', so that files with old Mac line ends read too.
std::string_view NextLine(std::string_view& rest) {
    std::size_t end = rest.find('\n');
    if (end == std::string_view::npos) {
        end = rest.find('\r');
    }
    const std::size_t next = end == std::string_view::npos ? rest.size() : end + 1;
    const std::string_view line = rest.substr(0, next);
    rest.remove_prefix(next);
    return line;
}

// What one line means to the lookup: nothing (blank), a section header, or a key line.
struct LineParts {
    enum class Kind { kBlank, kSection, kKey };
    Kind kind = Kind::kBlank;
    std::string_view name;                  // the section or key name, blanks around it removed
    std::optional<std::string_view> value;  // a key line's value; none when it has no '='
};

LineParts ClassifyLine(std::string_view rawLine) {
    const std::string_view line = Trim(rawLine);
    LineParts parts;
    if (line.empty()) {
        return parts;
    }
    // A '[' without a closing ']' on its line starts no section; the line reads as a key.
    const std::size_t close = line.front() == '[' ? line.rfind(']') : std::string_view::npos;
    if (close != std::string_view::npos) {
        parts.kind = LineParts::Kind::kSection;
        parts.name = Trim(line.substr(1, close - 1));
        return parts;
    }
    // Comment lines need no rule of their own: ";Port=1" defines the key ";Port".
    parts.kind = LineParts::Kind::kKey;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        parts.name = line;
        return parts;
    }
    parts.name = TrimRight(line.substr(0, equals));
    std::string_view value = TrimLeft(line.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    parts.value = value;
    return parts;
}

std::string_view WithoutBom(std::string_view text) {
    const std::string_view bom = "\xEF\xBB\xBF";
    if (text.substr(0, bom.size()) == bom) {
        text.remove_prefix(bom.size());
    }
    return text;
}

}  // namespace

std::optional<std::string> FindIniValue(std::string_view text, std::string_view section,
                                        std::string_view key) {
    section = Trim(section);
    key = Trim(key);
    text = WithoutBom(text);
    bool inSection = false;
    while (!text.empty()) {
        const LineParts line = ClassifyLine(NextLine(text));
        if (line.kind == LineParts::Kind::kSection) {
            if (inSection) {
                // A later section of the same name is never looked at.
                return std::nullopt;
            }
            inSection = EqualsNoCase(line.name, section);
            continue;
        }
        if (line.kind == LineParts::Kind::kBlank || !inSection || !EqualsNoCase(line.name, key)) {
            continue;
        }
        // A key without a value hides any later line of the same key.
        if (!line.value) {
            return std::nullopt;
        }
        return std::string(*line.value);
    }
    return std::nullopt;
}

std::vector<IniLine> ListIniLines(std::string_view text) {
    text = WithoutBom(text);
    std::vector<IniLine> lines;
    // The first header of each section name, and the first line of each key in the section
    // being read; names compared as the lookup compares them.
    std::map<std::string, int> firstHeaders;
    std::map<std::string, int> firstKeys;
    IniLine header;  // the last header; number 0 before the first
    for (int number = 1; !text.empty(); ++number) {
        const LineParts parts = ClassifyLine(NextLine(text));
        if (parts.kind == LineParts::Kind::kBlank) {
            continue;
        }
        IniLine line;
        line.number = number;
        if (parts.kind == LineParts::Kind::kSection) {
            line.isSection = true;
            line.section = std::string(parts.name);
            line.sectionLine = number;
            const auto first = firstHeaders.emplace(Lower(parts.name), number);
            line.hiddenBy = first.second ? 0 : first.first->second;
            firstKeys.clear();
            header = line;
        } else {
            line.key = std::string(parts.name);
            if (parts.value) {
                line.value = std::string(*parts.value);
            }
            if (header.number != 0) {
                line.section = header.section;
                line.sectionLine = header.number;
                line.hiddenBy = header.hiddenBy;
                const auto first = firstKeys.emplace(Lower(parts.name), number);
                if (line.hiddenBy == 0 && !first.second) {
                    line.hiddenBy = first.first->second;
                }
            }
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

int LeadingDecimalNumber(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') {
        text.remove_prefix(1);
    }
    // Too many digits wrap around the way a 32-bit register does.
    std::uint32_t number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            break;
        }
        number = number * 10u + static_cast<std::uint32_t>(c - '0');
    }
    return static_cast<int>(number);
}

}  // namespace ZUL
