// Windows only: owners of window-manager objects and small window helpers for the shell's
// *_win32.cpp files.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

// Destroys its window when it goes. DestroyWindow works only on the window's own thread, so an
// owner lives on that thread.
class ScopedWindow {
public:
    ScopedWindow() = default;
    explicit ScopedWindow(HWND window) : window_(window) {}
    ~ScopedWindow() { Reset(); }
    ScopedWindow(const ScopedWindow&) = delete;
    ScopedWindow& operator=(const ScopedWindow&) = delete;

    HWND Get() const { return window_; }
    HWND Release() { return std::exchange(window_, nullptr); }
    void Reset(HWND window = nullptr) {
        if (window_ != nullptr && IsWindow(window_)) {
            DestroyWindow(window_);
        }
        window_ = window;
    }

private:
    HWND window_ = nullptr;
};

class ScopedMenu {
public:
    explicit ScopedMenu(HMENU menu) : menu_(menu) {}
    ~ScopedMenu() {
        if (menu_ != nullptr) {
            DestroyMenu(menu_);
        }
    }
    ScopedMenu(const ScopedMenu&) = delete;
    ScopedMenu& operator=(const ScopedMenu&) = delete;

    HMENU Get() const { return menu_; }

private:
    HMENU menu_;
};

class ScopedIcon {
public:
    ScopedIcon() = default;
    explicit ScopedIcon(HICON icon) : icon_(icon) {}
    ~ScopedIcon() { Reset(); }
    ScopedIcon(const ScopedIcon&) = delete;
    ScopedIcon& operator=(const ScopedIcon&) = delete;

    HICON Get() const { return icon_; }
    void Reset(HICON icon = nullptr) {
        if (icon_ != nullptr) {
            DestroyIcon(icon_);
        }
        icon_ = icon;
    }

private:
    HICON icon_ = nullptr;
};

// The module that holds the shell's resources (the executable).
inline HINSTANCE ShellInstance() {
    return GetModuleHandleA(nullptr);
}

// A string resource of the executable; empty when it is missing.
inline std::string LoadResourceString(unsigned id) {
    char buffer[512] = {};
    const int length = LoadStringA(ShellInstance(), id, buffer, sizeof(buffer));
    return std::string(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

// Registers a window class once per process; true when it exists afterwards.
inline bool RegisterShellClass(const WNDCLASSEXA& windowClass) {
    return RegisterClassExA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// Resource ids of the shell.
constexpr int kIconResource = 128;
constexpr int kCloseStringResource = 129;
constexpr int kShutdownDialogResource = 132;
constexpr int kShutdownProgressControl = 1001;
constexpr int kShutdownMessageControl = 1002;
