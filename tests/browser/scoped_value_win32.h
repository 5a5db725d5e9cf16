// Windows only: a registry value that a browser test sets or removes, put back as it was.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace browsertest {

// One registry value that the cases set or remove; the destructor puts back what was there,
// deleting the keys that the value's writing created.
class ScopedValue {
public:
    ScopedValue(HKEY root, std::string path, std::string name)
        : root_(root), path_(std::move(path)), name_(std::move(name)) {
        char value[2048] = {};
        DWORD size = sizeof(value) - 1;
        if (RegGetValueA(root_, path_.c_str(), name_.c_str(), RRF_RT_REG_SZ, nullptr, value,
                         &size) == 0) {
            old_ = value;
        }
        // The first key of the path that is not there yet goes again as a whole.
        for (std::string::size_type end = 0; created_.empty() && end != std::string::npos;) {
            end = path_.find('\\', end + 1);
            HKEY key = nullptr;
            if (RegOpenKeyExA(root_, path_.substr(0, end).c_str(), 0, KEY_READ, &key) != 0) {
                created_ = path_.substr(0, end);
            } else {
                RegCloseKey(key);
            }
        }
    }
    ~ScopedValue() { created_.empty() && old_ ? Set(*old_) : Remove(); }
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;

    void Set(const std::string& value) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  0)
            << path_;
        RegSetValueExA(key, name_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
        RegCloseKey(key);
    }
    void Remove() {
        if (!created_.empty()) {
            RegDeleteTreeA(root_, created_.c_str());
        } else {
            RegDeleteKeyValueA(root_, path_.c_str(), name_.c_str());
        }
    }

private:
    HKEY root_;
    std::string path_;
    std::string name_;
    std::optional<std::string> old_;
    std::string created_;
};

}  // namespace browsertest
