// Windows only: the registry key wrapper over the advapi32 calls.
#include "sys/registry.h"

#include <windows.h>

#include <vector>

namespace {

HKEY RootKey(RegistryRoot root) {
    switch (root) {
        case RegistryRoot::ClassesRoot:
            return HKEY_CLASSES_ROOT;
        case RegistryRoot::CurrentUser:
            return HKEY_CURRENT_USER;
        case RegistryRoot::LocalMachine:
            return HKEY_LOCAL_MACHINE;
    }
    return HKEY_CURRENT_USER;
}

}  // namespace

CXRegistry::CXRegistry(RegistryRoot root, const char* subKey, bool create, unsigned long access) {
    if (subKey == nullptr) {
        return;
    }
    const std::string path = NormalisePath(subKey);
    HKEY key = nullptr;
    if (create) {
        DWORD disposition = 0;
        lastError_ = RegCreateKeyExA(RootKey(root), path.c_str(), 0, nullptr,
                                     REG_OPTION_NON_VOLATILE, access, nullptr, &key, &disposition);
    } else {
        lastError_ = RegOpenKeyExA(RootKey(root), path.c_str(), 0, access, &key);
    }
    if (lastError_ == ERROR_SUCCESS && key != nullptr) {
        key_ = key;
    }
}

CXRegistry::~CXRegistry() {
    Close();
}

bool CXRegistry::QueryString(const char* valueName, std::string& text) {
    if (key_ == nullptr) {
        return false;
    }
    HKEY key = static_cast<HKEY>(key_);
    // A one-byte probe tells the type and the size the value needs.
    BYTE probe[1] = {0};
    DWORD type = REG_NONE;
    DWORD size = sizeof(probe);
    lastError_ = RegQueryValueExA(key, valueName, nullptr, &type, probe, &size);
    if (lastError_ != ERROR_SUCCESS && lastError_ != ERROR_MORE_DATA) {
        return false;
    }
    if (type != REG_SZ) {
        return false;
    }
    if (lastError_ == ERROR_SUCCESS) {
        text.clear();
        return true;
    }
    // One byte more than asked for: a value stored without its terminating zero still ends.
    std::vector<char> value(size + 1, '\0');
    DWORD needed = size;
    lastError_ = RegQueryValueExA(key, valueName, nullptr, &type,
                                  reinterpret_cast<BYTE*>(value.data()), &needed);
    if (lastError_ != ERROR_SUCCESS || type != REG_SZ) {
        return false;
    }
    text = value.data();
    return true;
}

bool CXRegistry::SetString(const char* valueName, const char* text) {
    if (key_ == nullptr || text == nullptr) {
        return false;
    }
    lastError_ = RegSetValueExA(static_cast<HKEY>(key_), valueName, 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(text), lstrlenA(text) + 1);
    return lastError_ == ERROR_SUCCESS;
}

bool CXRegistry::QueryValue(const char* valueName, RegistryValue& value) {
    if (key_ == nullptr) {
        return false;
    }
    HKEY key = static_cast<HKEY>(key_);
    // The size may grow between the two calls when another program writes the value meanwhile.
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD type = REG_NONE;
        DWORD size = 0;
        lastError_ = RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &size);
        if (lastError_ != ERROR_SUCCESS) {
            return false;
        }
        std::vector<char> bytes(size + 1);
        DWORD got = size;
        lastError_ = RegQueryValueExA(key, valueName, nullptr, &type,
                                      reinterpret_cast<BYTE*>(bytes.data()), &got);
        if (lastError_ == ERROR_SUCCESS) {
            value.type = type;
            value.bytes.assign(bytes.data(), got);
            return true;
        }
        if (lastError_ != ERROR_MORE_DATA) {
            return false;
        }
    }
    return false;
}

bool CXRegistry::SetValue(const char* valueName, const RegistryValue& value) {
    if (key_ == nullptr) {
        return false;
    }
    lastError_ = RegSetValueExA(static_cast<HKEY>(key_), valueName, 0, value.type,
                                reinterpret_cast<const BYTE*>(value.bytes.data()),
                                static_cast<DWORD>(value.bytes.size()));
    return lastError_ == ERROR_SUCCESS;
}

bool CXRegistry::Close() {
    if (key_ == nullptr) {
        return false;
    }
    lastError_ = RegCloseKey(static_cast<HKEY>(key_));
    key_ = nullptr;
    return lastError_ == ERROR_SUCCESS;
}
