// Windows only: a system message box works from any thread and runs its own loop.
#include "app/message_box.h"

#include <windows.h>

namespace {

// Puts the box above the other topmost windows (the splash screen) as it comes up: the box's
// own topmost style is not honoured everywhere.
LRESULT CALLBACK RaiseBox(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        SetWindowPos(reinterpret_cast<HWND>(wParam), HWND_TOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

int ShowShellMessageBox(const std::string& text, const std::string& caption, unsigned style) {
    HHOOK hook = SetWindowsHookExA(WH_CBT, RaiseBox, nullptr, GetCurrentThreadId());
    const int chosen =
        MessageBoxA(nullptr, text.c_str(), caption.c_str(), style | MB_TOPMOST | MB_SETFOREGROUND);
    if (hook != nullptr) {
        UnhookWindowsHookEx(hook);
    }
    return chosen;
}
