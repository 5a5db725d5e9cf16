#include "config/ini_text.h"

#include <cctype>
#include <cstdint>

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

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
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

}  // namespace

std::optional<std::string> FindIniValue(std::string_view text, std::string_view section,
                                        std::string_view key) {
    section = Trim(section);
    key = Trim(key);
    const std::string_view bom = "\xEF\xBB\xBF";
    if (text.substr(0, bom.size()) == bom) {
        text.remove_prefix(bom.size());
    }
    bool inSection = false;
    while (!text.empty()) {
        const std::string_view line = Trim(NextLine(text));
        if (line.empty()) {
            continue;
        }
        // A '[' without a closing ']' on its line starts no section; the line reads as a key.
        const std::size_t close = line.front() == '[' ? line.rfind(']') : std::string_view::npos;
        if (close != std::string_view::npos) {
            if (inSection) {
                // A later section of the same name is never looked at.
                return std::nullopt;
            }
            inSection = EqualNoCase(Trim(line.substr(1, close - 1)), section);
            continue;
        }
        if (!inSection) {
            continue;
        }
        // Comment lines need no rule of their own: ";Port=1" defines the key ";Port".
        const std::size_t equals = line.find('=');
        const std::string_view name =
            equals == std::string_view::npos ? line : TrimRight(line.substr(0, equals));
        if (!EqualNoCase(name, key)) {
            continue;
        }
        if (equals == std::string_view::npos) {
            // The key is there without a value, and it hides any later line of the same key.
            return std::nullopt;
        }
        std::string_view value = TrimLeft(line.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        return std::string(value);
    }
    return std::nullopt;
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
