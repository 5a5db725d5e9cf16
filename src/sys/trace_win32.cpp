// Windows only: the process environment that CreateProcess hands to children.
#include <windows.h>

#include <vector>

#include "sys/trace.h"

std::string GetEnvironmentText(const char* name) {
    std::vector<char> value(256);
    for (;;) {
        const DWORD length =
            GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size()));
        if (length == 0) {
            return "";
        }
        if (length < value.size()) {
            return std::string(value.data(), length);
        }
        value.resize(length + 1);
    }
}
