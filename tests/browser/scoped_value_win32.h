// Windows only: a registry value that a browser test sets or removes, put back as it was.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "sys/registry.h"

namespace browsertest {

// One registry value that the cases set or remove; the destructor puts back what was there,
// deleting the keys that the value's writing created.
class ScopedValue {
public:
    ScopedValue(HKEY root, std::string path, std::string name)
        : root_(root), path_(std::move(path)), name_(std::move(name)) {
        std::string value;
        if (Open(path_, false).QueryString(name_.c_str(), value)) {
            old_ = value;
        }
        // The first key of the path that is not there yet goes again as a whole.
        for (std::string::size_type end = 0; created_.empty() && end != std::string::npos;) {
            end = path_.find('\\', end + 1);
            if (!Open(path_.substr(0, end), false, KEY_READ).IsOpen()) {
                created_ = path_.substr(0, end);
            }
        }
    }
    ~ScopedValue() { created_.empty() && old_ ? Set(*old_) : Remove(); }
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;

    void Set(const std::string& value) {
        ASSERT_TRUE(Open(path_, true).SetString(name_.c_str(), value.c_str())) << path_;
    }
    void Remove() {
        if (!created_.empty()) {
            RegDeleteTreeA(root_, created_.c_str());
        } else {
            RegDeleteKeyValueA(root_, path_.c_str(), name_.c_str());
        }
    }

private:
    CXRegistry Open(const std::string& path, bool create,
                    unsigned long access = kRegistryAllAccess) const {
        return CXRegistry(root_ == HKEY_CLASSES_ROOT   ? RegistryRoot::ClassesRoot
                          : root_ == HKEY_CURRENT_USER ? RegistryRoot::CurrentUser
                                                       : RegistryRoot::LocalMachine,
                          path.c_str(), create, access);
    }

    HKEY root_;
    std::string path_;
    std::string name_;
    std::optional<std::string> old_;
    std::string created_;
};

}  // namespace browsertest
