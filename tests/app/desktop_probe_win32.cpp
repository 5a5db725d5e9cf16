// Windows only: the shell's windows and tray icon, and other processes' windows, through the
// window manager.
#include "desktop_probe.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <chrono>

#include "app/tray.h"
#include "shell_test_support.h"
#include "test_support.h"
#include "win32_test_support.h"

namespace shelltest {

namespace {

// The dialog's controls, as the shell's resources number them.
constexpr int kDialogBar = 1001;
constexpr int kDialogMessage = 1002;

// Runs this thread's messages until `done` holds or WM_QUIT comes, which sets `quit` or, without
// it, stays for the next pump.
bool Pump(const std::function<bool()>& done, bool* quit, int timeoutMs) {
    bool ended = false;
    return testsupport::Eventually(
        [&] {
            MSG message;
            while (!ended && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                ended = message.message == WM_QUIT;
                if (!ended) {
                    TranslateMessage(&message);
                    DispatchMessageA(&message);
                } else if (quit != nullptr) {
                    *quit = true;
                } else {
                    PostQuitMessage(static_cast<int>(message.wParam));
                }
            }
            return ended || done();
        },
        std::chrono::milliseconds(timeoutMs));
}

HWND Find(ShellWindow window) {
    return FindTopWindow(window == ShellWindow::kSplash ? "SplashWnd" : "#32770");
}

Area AreaOf(const RECT& rect) {
    return {rect.left, rect.top, rect.right, rect.bottom};
}

// A screenshot of the rectangle and 20 pixels around it, as a bitmap file.
void SaveScreenshot(RECT rect, const std::string& name) {
    InflateRect(&rect, 20, 20);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info{sizeof(info), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::string rows(static_cast<size_t>((width * 3 + 3) & ~3) * height, '\0');
    const int copied = GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), rows.data(),
                                 reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (copied == height) {
        CreateDirectoryA(ArtifactFolder().c_str(), nullptr);
        testsupport::WriteFile(ArtifactFolder() + "windows-" + name + ".bmp",
                               BitmapFile(width, height, rows));
    }
}

HWND Tray() {
    return FindTopWindow("TrailhostTray");
}

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

// Waits for the visible box with `caption` of `process`; null when none came.
HWND WaitForBox(const std::string& caption, DWORD process, const std::function<bool()>& giveUp) {
    HWND box = nullptr;
    testsupport::Eventually([&] {
        box = FindTopWindow("#32770", caption, process);
        return (box != nullptr && IsWindowVisible(box)) || giveUp();
    });
    return box;
}

std::string AnswerWithOk(HWND box) {
    std::string text;
    EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(&text));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return text;
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    return Pump(done, nullptr, timeoutMs);
}

bool LoopEnds(int timeoutMs) {
    bool quit = false;
    return Pump([] { return false; }, &quit, timeoutMs) && quit;
}

void DrainUi() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message != WM_QUIT) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

void HandleRequestsSent() {}

WindowLook LookAt(ShellWindow which) {
    WindowLook look;
    HWND window = Find(which);
    RECT rect{};
    if (window == nullptr || !IsWindowVisible(window) || !GetWindowRect(window, &rect) ||
        IsRectEmpty(&rect)) {
        return look;
    }
    look.shown = true;
    look.rect = AreaOf(rect);
    look.topmostWithoutFrame = !(GetWindowLongA(window, GWL_STYLE) & WS_CAPTION) &&
                               (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    look.ownThread = GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId();
    // The splash screen's bar: one, however often the progress moved.
    HWND bar = which == ShellWindow::kSplash ? nullptr : GetDlgItem(window, kDialogBar);
    int bars = 0;
    for (HWND next = nullptr;
         which == ShellWindow::kSplash &&
         (next = FindWindowExA(window, next, PROGRESS_CLASSA, nullptr)) != nullptr;
         ++bars) {
        bar = bars == 0 ? next : nullptr;
    }
    if (bar != nullptr) {
        look.hasBar = true;
        GetWindowRect(bar, &rect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
        look.bar = AreaOf(rect);
        look.barValue = static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0));
        look.barMaximum = static_cast<int>(SendMessageA(bar, PBM_GETRANGE, FALSE, 0));
    }
    char text[256] = {};
    GetDlgItemTextA(window, kDialogMessage, text, sizeof(text));
    look.text = text;
    return look;
}

void KeepScreenshot(ShellWindow which, const std::string& name) {
    HWND window = Find(which);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT rect{};
    if (GetWindowRect(window, &rect)) {
        SaveScreenshot(rect, name);
    }
}

// Only an icon that the notification area holds can be modified.
bool TrayIconShown() {
    NOTIFYICONDATAA data{};
    data.cbSize = NOTIFYICONDATAA_V2_SIZE;
    data.hWnd = Tray();
    data.uID = kTrayIconId;
    return data.hWnd != nullptr && Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

std::vector<MenuItem> UseTrayMenu(int choose) {
    std::vector<MenuItem> items;
    // The menu opens at the pointer; in the middle of the screen it has room below and right.
    const Area area = DesktopWorkArea();
    SetCursorPos((area.left + area.right) / 2, (area.top + area.bottom) / 2);
    std::atomic<bool> done{false};
    std::thread chooser([&] {
        HWND window = nullptr;
        if (testsupport::Eventually([&] {
                window = FindTopWindow("#32768");
                return window != nullptr && IsWindowVisible(window);
            })) {
            auto* menu = reinterpret_cast<HMENU>(SendMessageA(window, MN_GETHMENU, 0, 0));
            for (int item = 0; item < GetMenuItemCount(menu); ++item) {
                char text[128] = {};
                GetMenuStringA(menu, static_cast<UINT>(item), text, sizeof(text), MF_BYPOSITION);
                items.push_back(
                    {text,
                     !(GetMenuState(menu, static_cast<UINT>(item), MF_BYPOSITION) & MF_GRAYED)});
            }
            RECT rect{};
            GetWindowRect(window, &rect);
            SaveScreenshot(rect, "tray-menu");
            // Down the menu until the item is highlighted, whatever the pointer highlighted first.
            auto highlighted = [&] {
                for (int item = 0; item < static_cast<int>(items.size()); ++item) {
                    if (GetMenuState(menu, static_cast<UINT>(item), MF_BYPOSITION) & MF_HILITE) {
                        return item;
                    }
                }
                return -1;
            };
            for (int step = 0; choose >= 0 && step < 4 && highlighted() != choose; ++step) {
                const int before = highlighted();
                PostMessageA(window, WM_KEYDOWN, VK_DOWN, 0);
                testsupport::Eventually([&] { return highlighted() != before; },
                                        std::chrono::seconds(5));
            }
            PostMessageA(window, WM_KEYDOWN, choose >= 0 ? VK_RETURN : VK_ESCAPE, 0);
        }
        done = true;
    });
    PostMessageA(Tray(), kTrayCallbackMessage, kTrayIconId, WM_RBUTTONUP);
    // The menu runs its own loop inside this thread's handling of the callback, so the pump
    // looks at `done` only once the menu has gone.
    PumpUntil([&] { return done.load(); });
    chooser.join();
    return items;
}

void DoubleClickTray() {
    PostMessageA(Tray(), kTrayCallbackMessage, kTrayIconId, WM_LBUTTONDBLCLK);
    PumpUntil([] { return true; });
}

BoxLook AnswerOwnBox(const std::string& caption, const std::function<void()>& onShown) {
    BoxLook look;
    HWND box = WaitForBox(caption, 0, [] { return false; });
    if (box == nullptr) {
        return look;
    }
    onShown();
    // Above every other topmost window: the splash screen comes after it in the stack of windows.
    HWND splash = Find(ShellWindow::kSplash);
    for (HWND below = box; below != nullptr; below = GetWindow(below, GW_HWNDNEXT)) {
        look.aboveSplash = look.aboveSplash || below == splash;
    }
    look.aboveSplash = look.aboveSplash && (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST);
    look.text = AnswerWithOk(box);
    return look;
}

bool SharedDisplay() {
    return true;
}

Area DesktopWorkArea() {
    RECT area{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return AreaOf(area);
}

long ScreenPixel(int x, int y) {
    HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return colour == CLR_INVALID ? -1
                                 : static_cast<long>((GetRValue(colour) << 16) |
                                                     (GetGValue(colour) << 8) | GetBValue(colour));
}

std::string AnswerBox(testsupport::ChildProcess& copy, const std::string&,
                      const std::string& caption) {
    HWND box = WaitForBox(caption, copy.Id(), [&] { return copy.WaitForEnd(0); });
    return box != nullptr ? AnswerWithOk(box) : "";
}

}  // namespace shelltest
