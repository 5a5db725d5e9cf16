// Windows only: other processes' windows through the window manager.
#include "desktop_probe.h"

#include <windows.h>

#include "shell_test_support.h"
#include "win32_test_support.h"

namespace shelltest {

bool SharedDisplay() {
    return true;
}

Area DesktopWorkArea() {
    const RECT area = WorkArea();
    return {area.left, area.top, area.right, area.bottom};
}

long ScreenPixel(int x, int y) {
    HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    if (colour == CLR_INVALID) {
        return -1;
    }
    return static_cast<long>((GetRValue(colour) << 16) | (GetGValue(colour) << 8) |
                             GetBValue(colour));
}

namespace {

BOOL CALLBACK CollectStaticText(HWND child, LPARAM param) {
    char name[32] = {};
    GetClassNameA(child, name, sizeof(name));
    char text[512] = {};
    GetWindowTextA(child, text, sizeof(text));
    if (lstrcmpiA(name, "Static") == 0 && text[0] != '\0') {
        *reinterpret_cast<std::string*>(param) = text;
    }
    return TRUE;
}

}  // namespace

std::string AnswerBox(testsupport::ChildProcess& copy, const std::string&,
                      const std::string& caption) {
    HWND box = nullptr;
    if (!WaitUntil([&] {
            box = FindTopWindow("#32770", caption, copy.Id());
            return box != nullptr || copy.WaitForEnd(0);
        }) ||
        box == nullptr) {
        return "";
    }
    std::string text;
    EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(&text));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return text;
}

HeadlessCopies::HeadlessCopies() = default;

HeadlessCopies::~HeadlessCopies() = default;

}  // namespace shelltest
