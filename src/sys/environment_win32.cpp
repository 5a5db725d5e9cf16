// Windows only: the process environment that CreateProcess hands to children.
#include <windows.h>

#include <vector>

#include "sys/environment.h"

std::string GetEnvironmentValue(const std::string& name) {
    // The size is asked first, and asked again should the value grow in between.
    std::vector<char> buffer(4096);
    for (;;) {
        const DWORD length =
            GetEnvironmentVariableA(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return "";
        }
        if (length < buffer.size()) {
            return std::string(buffer.data(), length);
        }
        buffer.resize(length + 1);
    }
}

bool SetEnvironmentValue(const std::string& name, const std::string& value) {
    return SetEnvironmentVariableA(name.c_str(), value.c_str()) != FALSE;
}
