// Windows only: finding top-level windows, the shell's and other processes'.
#pragma once

#include <windows.h>

#include <string>

namespace shelltest {

constexpr DWORD kAnyProcess = 0xFFFFFFFF;

// The first top-level window (shown or not) of process `process` (this one when 0, every one
// with kAnyProcess) whose class and caption match; an empty text matches any.
inline HWND FindTopWindow(const std::string& className, const std::string& caption = "",
                          DWORD process = 0) {
    const DWORD wanted = process != 0 ? process : GetCurrentProcessId();
    const char* name = className.empty() ? nullptr : className.c_str();
    const char* text = caption.empty() ? nullptr : caption.c_str();
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, name, text)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (wanted == kAnyProcess || owner == wanted) {
            return window;
        }
    }
    return nullptr;
}

}  // namespace shelltest
