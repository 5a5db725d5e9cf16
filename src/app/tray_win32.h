// Windows only: the notification-area icon. CSystemTray owns a hidden window of its own that
// receives the icon's callback messages and the shell's "TaskbarCreated"; CTrailhostSysTray puts
// the server name into the menu's Close item.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "app/ui_win32.h"

struct AppSettings;

class CSystemTray {
public:
    CSystemTray();
    // Removes the icon.
    virtual ~CSystemTray();
    CSystemTray(const CSystemTray&) = delete;
    CSystemTray& operator=(const CSystemTray&) = delete;

    // Adds the icon; false when there is no tray or the shell refuses it (the icon then stays
    // away for the whole run). `balloonSeconds` is how long the balloon shows.
    bool Install(HWND parent, UINT callbackMessage, const std::string& tooltip, HICON icon, UINT id,
                 bool hidden, const std::string& balloonText, const std::string& balloonTitle,
                 DWORD balloonIcon, UINT balloonSeconds);

    // Removes the icon; true when it is gone.
    bool Uninstall();

    // The callback's reaction: the menu on a right-button release, the default command on a
    // double-click. Returns 0 for another icon or without a target window, else 1.
    LRESULT HandleCallback(WPARAM id, LPARAM mouseMessage);

    // The window that receives the menu's commands (the frame).
    void SetTargetWindow(HWND window) { target_ = window; }

    // Takes `window` off the screen and the taskbar: it gets a hidden owner, made once per
    // process, and loses WS_VISIBLE.
    static void HideWindowToTray(HWND window, bool forceAnimation);

protected:
    // Lets a subclass change the pop-up menu before it shows.
    virtual void PrepareMenu(HMENU menu);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Readd();

    ScopedWindow window_;
    NOTIFYICONDATAA data_{};
    bool enabled_ = false;
    bool balloonCapable_ = false;
    bool iconHidden_ = true;
    bool iconRemoved_ = true;
    bool installPending_ = false;
    UINT savedFlags_ = 0;
    UINT defaultItem_ = 0;
    HWND target_ = nullptr;
};

class CTrailhostSysTray : public CSystemTray {
public:
    void SetSettings(const AppSettings* settings) { settings_ = settings; }

protected:
    // The Close item reads "Close " + the server name.
    void PrepareMenu(HMENU menu) override;

private:
    const AppSettings* settings_ = nullptr;
};

// The notification area's rectangle, the target of the hide animation.
RECT NotificationAreaRect();
