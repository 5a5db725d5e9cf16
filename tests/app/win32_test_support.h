// Windows only: finding top-level windows, the shell's and other processes'.
#pragma once

#include <windows.h>

#include <string>

namespace shelltest {

constexpr DWORD kAnyProcess = 0xFFFFFFFF;

struct WindowSearch {
    std::string className;
    std::string caption;
    DWORD process;
    HWND found;
};

inline BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
    auto& search = *reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char name[256] = {};
    GetClassNameA(window, name, sizeof(name));
    char text[256] = {};
    GetWindowTextA(window, text, sizeof(text));
    if ((search.process == kAnyProcess || owner == search.process) &&
        (search.className.empty() || search.className == name) &&
        (search.caption.empty() || search.caption == text)) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

// The first top-level window (shown or not) of process `process` (this one when 0, every one
// with kAnyProcess) whose class and caption match; an empty text matches any.
inline HWND FindTopWindow(const std::string& className, const std::string& caption = "",
                          DWORD process = 0) {
    WindowSearch search{className, caption, process != 0 ? process : GetCurrentProcessId(),
                        nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace shelltest
