#include "stack/protected_folder.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace {

#ifdef _WIN32
constexpr bool kWindowsPaths = true;
#else
constexpr bool kWindowsPaths = false;
#endif

// An absolute path taken apart: its root ("c:", "\\server\share" or "/") and its folder names,
// compared as the platform compares them.
struct AbsolutePath {
    std::string root;
    std::vector<std::string> parts;
};

bool IsSeparator(char c) {
    return c == '/' || (kWindowsPaths && c == '\\');
}

std::string Folded(std::string text) {
    if (kWindowsPaths) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    }
    return text;
}

// The names after the root, with "." dropped and ".." taking the name before it away (above the
// root there is nothing).
std::vector<std::string> Parts(const std::string& rest) {
    std::vector<std::string> parts;
    size_t from = 0;
    while (from <= rest.size()) {
        size_t end = from;
        while (end < rest.size() && !IsSeparator(rest[end])) {
            ++end;
        }
        const std::string name = rest.substr(from, end - from);
        if (name == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!name.empty() && name != ".") {
            parts.push_back(Folded(name));
        }
        from = end + 1;
    }
    return parts;
}

// Nothing for a path that is not absolute, or that cannot be compared by name.
std::optional<AbsolutePath> Absolute(const std::string& path) {
    if (!kWindowsPaths) {
        if (path.empty() || path[0] != '/') {
            return std::nullopt;
        }
        return AbsolutePath{"/", Parts(path.substr(1))};
    }
    if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
        IsSeparator(path[2])) {
        return AbsolutePath{Folded(path.substr(0, 2)), Parts(path.substr(3))};
    }
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        // "\\?\..." and "\\.\..." name devices or bypass the usual rules.
        if (path.size() >= 3 && (path[2] == '?' || path[2] == '.')) {
            return std::nullopt;
        }
        // The root of a network path is its server and share.
        const std::vector<std::string> names = Parts(path.substr(2));
        if (names.size() < 2) {
            return std::nullopt;
        }
        return AbsolutePath{"\\\\" + names[0] + "\\" + names[1],
                            std::vector<std::string>(names.begin() + 2, names.end())};
    }
    return std::nullopt;
}

}  // namespace

bool IsProtectedFolder(const std::string& folder,
                       const std::vector<std::string>& protectedFolders) {
    const std::optional<AbsolutePath> path = Absolute(folder);
    if (!path || path->parts.empty()) {
        return true;
    }
    for (const std::string& other : protectedFolders) {
        const std::optional<AbsolutePath> kept = Absolute(other);
        if (!kept || kept->root != path->root || kept->parts.size() < path->parts.size()) {
            continue;
        }
        if (std::equal(path->parts.begin(), path->parts.end(), kept->parts.begin())) {
            return true;
        }
    }
    return false;
}
