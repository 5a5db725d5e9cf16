// Linux only: the status icon with the same tooltip, balloon and two-item menu as on Windows.
// Qt adds the icon again by itself when the desktop's tray comes back. Without a display there is
// none.
#pragma once

#include <functional>
#include <memory>
#include <string>

class CTrailhostSysTray {
public:
    // `close` runs (on the UI thread) when the menu's Close item is chosen.
    CTrailhostSysTray(const std::string& serverName, std::function<void()> close);
    // Removes the icon.
    ~CTrailhostSysTray();
    CTrailhostSysTray(const CTrailhostSysTray&) = delete;
    CTrailhostSysTray& operator=(const CTrailhostSysTray&) = delete;

    // Shows the icon and a balloon with `balloonText`; false when the desktop has no tray now
    // (the icon then appears when one comes).
    bool Install(const std::string& balloonText);
    void Uninstall();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
