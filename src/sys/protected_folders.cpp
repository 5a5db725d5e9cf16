#include "sys/protected_folders.h"
#include "sys/text.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace {

// An absolute path taken apart: its root ("/", "c:", "\\server\share" in lower case) and the
// names of the folders below it, with "." and ".." resolved.
struct SplitPath {
    std::string root;
    std::vector<std::string> parts;
};

bool IsSeparator(char c, PathStyle style) {
    return c == '/' || (style == PathStyle::kWindows && c == '\\');
}

// The names between separators from `from` on, empty ones (doubled separators) left out.
std::vector<std::string> Names(const std::string& path, size_t from, PathStyle style) {
    std::vector<std::string> names;
    std::string name;
    for (size_t i = from; i <= path.size(); ++i) {
        if (i == path.size() || IsSeparator(path[i], style)) {
            if (!name.empty()) {
                names.push_back(name);
            }
            name.clear();
        } else {
            name += path[i];
        }
    }
    return names;
}

// Nothing when the path is not absolute or cannot be compared by its name.
std::optional<SplitPath> Split(const std::string& path, PathStyle style) {
    SplitPath split;
    std::vector<std::string> names;
    if (style == PathStyle::kPosix) {
        if (path.empty() || path[0] != '/') {
            return std::nullopt;
        }
        split.root = "/";
        names = Names(path, 1, style);
    } else if (path.size() >= 2 && IsSeparator(path[0], style) && IsSeparator(path[1], style)) {
        // "\\server\share\..."; device paths ("\\?\", "\\.\") are refused.
        names = Names(path, 2, style);
        if (names.size() < 2 || names[0] == "?" || names[0] == ".") {
            return std::nullopt;
        }
        split.root = "\\\\" + Lower(names[0]) + "\\" + Lower(names[1]);
        names.erase(names.begin(), names.begin() + 2);
    } else if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
               path[1] == ':' && IsSeparator(path[2], style)) {
        split.root = Lower(path.substr(0, 2));
        names = Names(path, 3, style);
    } else {
        // Relative, or relative to a drive's current folder ("C:x", "\x").
        return std::nullopt;
    }
    for (std::string name : names) {
        if (name == ".") {
            continue;
        }
        if (name == "..") {
            if (!split.parts.empty()) {
                split.parts.pop_back();
            }
            continue;
        }
        if (style == PathStyle::kWindows) {
            // Windows drops trailing dots and blanks of a name; a name of nothing else would be
            // read as something other than what it looks like.
            while (!name.empty() && (name.back() == '.' || name.back() == ' ')) {
                name.pop_back();
            }
            if (name.empty()) {
                return std::nullopt;
            }
            name = Lower(name);
        }
        split.parts.push_back(name);
    }
    return split;
}

// Whether `upper` is `lower` or one of the folders above it.
bool IsAtOrAbove(const SplitPath& upper, const SplitPath& lower) {
    return upper.root == lower.root && upper.parts.size() <= lower.parts.size() &&
           std::equal(upper.parts.begin(), upper.parts.end(), lower.parts.begin());
}

}  // namespace

bool IsProtectedFolder(const std::string& folder, const std::vector<std::string>& protectedFolders,
                       PathStyle style) {
    const std::optional<SplitPath> split = Split(folder, style);
    if (!split || split->parts.empty()) {
        return true;
    }
    return std::any_of(protectedFolders.begin(), protectedFolders.end(),
                       [&](const std::string& kept) {
                           const std::optional<SplitPath> other = Split(kept, style);
                           return other && IsAtOrAbove(*split, *other);
                       });
}
