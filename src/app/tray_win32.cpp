// Windows only: the notification-area icon on Shell_NotifyIconA.
#include "app/tray_win32.h"

#include "app/tray.h"
#include "config/settings.h"

#include <cstring>

namespace {

const char kTrayClass[] = "TrailhostTray";
const char kHiddenOwnerClass[] = "TrailhostHiddenOwner";

UINT TaskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageA("TaskbarCreated");
    return message;
}

void CopyCut(char* target, size_t size, const std::string& text) {
    const size_t length = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(target, text.data(), length);
    target[length] = '\0';
}

bool SystemHasTray() {
    const DWORD version = GetVersion();
    return LOBYTE(LOWORD(version)) >= 4;
}

bool SystemHasBalloons() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&info)) {
        return false;
    }
#pragma GCC diagnostic pop
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion >= 5;
}

HWND HiddenOwner() {
    static HWND owner = [] {
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = ShellInstance();
        windowClass.lpszClassName = kHiddenOwnerClass;
        RegisterShellClass(windowClass);
        return CreateWindowExA(0, kHiddenOwnerClass, "", WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, ShellInstance(),
                               nullptr);
    }();
    return owner;
}

bool MinimizeAnimationOn() {
    ANIMATIONINFO info{};
    info.cbSize = sizeof(info);
    return SystemParametersInfoA(SPI_GETANIMATION, sizeof(info), &info, 0) && info.iMinAnimate;
}

struct AreaWalk {
    RECT rect;
};

BOOL CALLBACK NarrowToClock(HWND child, LPARAM param) {
    auto& walk = *reinterpret_cast<AreaWalk*>(param);
    char name[64] = {};
    GetClassNameA(child, name, sizeof(name));
    if (lstrcmpiA(name, "TrayNotifyWnd") == 0) {
        GetWindowRect(child, &walk.rect);
        return TRUE;
    }
    if (lstrcmpiA(name, "TrayClockWClass") == 0) {
        RECT clock;
        GetWindowRect(child, &clock);
        if (clock.bottom < walk.rect.bottom - 5) {
            walk.rect.top = clock.bottom;
        } else {
            walk.rect.right = clock.left;
        }
        return FALSE;
    }
    return TRUE;
}

}  // namespace

RECT NotificationAreaRect() {
    if (HWND taskbar = FindWindowA("Shell_TrayWnd", nullptr)) {
        AreaWalk walk{};
        GetWindowRect(taskbar, &walk.rect);
        EnumChildWindows(taskbar, NarrowToClock, reinterpret_cast<LPARAM>(&walk));
        return walk.rect;
    }
    APPBARDATA bar{};
    bar.cbSize = sizeof(bar);
    if (SHAppBarMessage(ABM_GETTASKBARPOS, &bar)) {
        RECT rect = bar.rc;
        if (bar.uEdge == ABE_LEFT || bar.uEdge == ABE_RIGHT) {
            rect.top = bar.rc.bottom - 100;
            rect.bottom = bar.rc.bottom - 16;
        } else {
            rect.left = bar.rc.right - 100;
            rect.right = bar.rc.right - 16;
        }
        return rect;
    }
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    return RECT{work.right - 150, work.bottom - 30, work.right, work.bottom};
}

CSystemTray::CSystemTray() : enabled_(SystemHasTray()), balloonCapable_(SystemHasBalloons()) {
    TaskbarCreatedMessage();
}

CSystemTray::~CSystemTray() {
    Uninstall();
}

bool CSystemTray::Install(HWND parent, UINT callbackMessage, const std::string& tooltip, HICON icon,
                          UINT id, bool hidden, const std::string& balloonText,
                          const std::string& balloonTitle, DWORD balloonIcon, UINT balloonSeconds) {
    if (!enabled_) {
        return false;
    }
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = ShellInstance();
    windowClass.lpszClassName = kTrayClass;
    RegisterShellClass(windowClass);
    window_.Reset(CreateWindowExA(0, kTrayClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  ShellInstance(), nullptr));
    if (window_.Get() == nullptr) {
        return false;
    }
    SetWindowLongPtrA(window_.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));

    data_ = NOTIFYICONDATAA{};
    // The older record layout, which every shell since Windows 2000 understands.
    data_.cbSize = NOTIFYICONDATAA_V2_SIZE;
    data_.hWnd = parent != nullptr ? parent : window_.Get();
    data_.uID = id;
    data_.hIcon = icon;
    data_.uCallbackMessage = callbackMessage;
    data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    CopyCut(data_.szTip, sizeof(data_.szTip), tooltip);
    const bool withBalloon = balloonCapable_ && !balloonText.empty();
    if (withBalloon) {
        data_.uFlags |= NIF_INFO;
        CopyCut(data_.szInfo, sizeof(data_.szInfo), balloonText);
        CopyCut(data_.szInfoTitle, sizeof(data_.szInfoTitle), balloonTitle);
        data_.uTimeout = balloonSeconds * 1000;
        data_.dwInfoFlags = balloonIcon;
    }
    iconHidden_ = hidden;
    if (balloonCapable_ && hidden) {
        data_.uFlags = NIF_STATE;
        data_.dwState = NIS_HIDDEN;
        data_.dwStateMask = NIS_HIDDEN;
    }
    savedFlags_ = data_.uFlags;

    bool added = true;
    if (!(hidden && !balloonCapable_)) {
        added = Shell_NotifyIconA(NIM_ADD, &data_) != FALSE;
        iconHidden_ = iconRemoved_ = installPending_ = !added;
    }
    if (withBalloon) {
        // Later updates must not show the balloon again.
        data_.szInfo[0] = '\0';
    }
    return added;
}

bool CSystemTray::Uninstall() {
    installPending_ = false;
    if (!enabled_ || iconRemoved_) {
        return true;
    }
    data_.uFlags = 0;
    if (Shell_NotifyIconA(NIM_DELETE, &data_)) {
        iconHidden_ = iconRemoved_ = true;
    }
    return iconRemoved_;
}

void CSystemTray::Readd() {
    if (!installPending_ || iconHidden_) {
        return;
    }
    data_.uFlags = savedFlags_;
    const bool added = Shell_NotifyIconA(NIM_ADD, &data_) != FALSE;
    iconHidden_ = installPending_ = !added;
}

void CSystemTray::PrepareMenu(HMENU) {}

LRESULT CSystemTray::HandleCallback(WPARAM id, LPARAM mouseMessage) {
    if (id != data_.uID) {
        return 0;
    }
    HWND target = target_;
    if (target == nullptr) {
        return 0;
    }
    if (LOWORD(mouseMessage) == WM_RBUTTONUP) {
        ScopedMenu menu(LoadMenuA(ShellInstance(), MAKEINTRESOURCEA(data_.uID)));
        HMENU popup = menu.Get() != nullptr ? GetSubMenu(menu.Get(), 0) : nullptr;
        if (popup == nullptr) {
            return 1;
        }
        PrepareMenu(popup);
        POINT cursor{};
        GetCursorPos(&cursor);
        // The menu closes properly on a click elsewhere only when its owner is in front.
        SetForegroundWindow(target);
        TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_LEFTBUTTON, cursor.x, cursor.y, 0, target,
                       nullptr);
        PostMessageA(target, WM_NULL, 0, 0);
    } else if (LOWORD(mouseMessage) == WM_LBUTTONDBLCLK) {
        SetForegroundWindow(target);
        ScopedMenu menu(LoadMenuA(ShellInstance(), MAKEINTRESOURCEA(data_.uID)));
        HMENU popup = menu.Get() != nullptr ? GetSubMenu(menu.Get(), 0) : nullptr;
        if (popup != nullptr) {
            const UINT command = GetMenuItemID(popup, static_cast<int>(defaultItem_));
            PostMessageA(target, WM_COMMAND, command, 0);
        }
    }
    return 1;
}

LRESULT CALLBACK CSystemTray::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* tray = reinterpret_cast<CSystemTray*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (tray == nullptr) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    if (message == tray->data_.uCallbackMessage) {
        return tray->HandleCallback(wParam, lParam);
    }
    if (message == TaskbarCreatedMessage()) {
        tray->installPending_ = true;
        tray->Readd();
        return 0;
    }
    if (message == WM_SETTINGCHANGE && wParam == SPI_SETWORKAREA) {
        const LRESULT result = DefWindowProcA(window, message, wParam, lParam);
        tray->installPending_ = !tray->iconHidden_;
        tray->Readd();
        return result;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void CSystemTray::HideWindowToTray(HWND window, bool forceAnimation) {
    if (forceAnimation || MinimizeAnimationOn()) {
        RECT from{};
        GetWindowRect(window, &from);
        const RECT to = NotificationAreaRect();
        DrawAnimatedRects(window, IDANI_CAPTION, &from, &to);
    }
    // An owner, not a parent: the frame stays a top-level window, which a second copy finds.
    SetWindowLongPtrA(window, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(HiddenOwner()));
    SetWindowLongA(window, GWL_STYLE, GetWindowLongA(window, GWL_STYLE) & ~WS_VISIBLE);
}

void CTrailhostSysTray::PrepareMenu(HMENU menu) {
    const UINT command = GetMenuItemID(menu, 1);
    std::string text = LoadResourceString(kCloseStringResource);
    if (text.empty()) {
        text = kCloseItemTemplate;
    }
    const std::string serverName = settings_ != nullptr ? settings_->serverName : "";
    for (size_t at = text.find("{SERVERNAME}"); at != std::string::npos;
         at = text.find("{SERVERNAME}", at + serverName.size())) {
        text.replace(at, 12, serverName);
    }
    ModifyMenuA(menu, command, MF_BYCOMMAND | MF_STRING, command, text.c_str());
}
