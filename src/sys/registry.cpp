#include "sys/registry.h"

std::string CXRegistry::NormalisePath(const std::string& subKey) {
    const std::string::size_type first = subKey.find_first_not_of('\\');
    std::string path = first == std::string::npos ? "" : subKey.substr(first);
    if (!path.empty() && path.back() == '\\') {
        path.pop_back();
    }
    return path;
}
