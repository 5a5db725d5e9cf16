// Windows only: finding the shell's windows and running the UI thread's loop in a test.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>

#include "app/shell.h"

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

inline RECT WorkArea() {
    RECT area{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

// Runs this thread's messages until `done` holds or WM_QUIT comes; false after `timeoutMs`, which
// only bounds a test that fails. The quit message sets `quit`, or stays for the next pump when
// the caller does not ask for it.
inline bool PumpUntil(const std::function<bool()>& done, bool* quit = nullptr,
                      int timeoutMs = 30000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                if (quit != nullptr) {
                    *quit = true;
                } else {
                    PostQuitMessage(static_cast<int>(message.wParam));
                }
                return true;
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (done && done()) {
            return true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

// Runs the loop until the frame has been destroyed (the quit message came).
inline bool PumpUntilQuit(int timeoutMs = 30000) {
    bool quit = false;
    return PumpUntil([] { return false; }, &quit, timeoutMs) && quit;
}

// Handles messages already queued, and those they queue in turn.
inline void DrainMessages() {
    PumpUntil([] { return true; }, nullptr, 1000);
}

}  // namespace shelltest
