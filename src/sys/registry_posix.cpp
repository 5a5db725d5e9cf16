// Linux only: no registry exists, so no key ever opens.
#include "sys/registry.h"

#include <cerrno>

CXRegistry::CXRegistry(RegistryRoot, const char* subKey, bool, unsigned long) {
    if (subKey != nullptr) {
        lastError_ = ENOENT;
    }
}

CXRegistry::~CXRegistry() = default;

bool CXRegistry::QueryString(const char*, std::string&) {
    return false;
}

bool CXRegistry::SetString(const char*, const char*) {
    return false;
}

bool CXRegistry::QueryValue(const char*, RegistryValue&) {
    return false;
}

bool CXRegistry::SetValue(const char*, const RegistryValue&) {
    return false;
}

bool CXRegistry::Close() {
    return false;
}
