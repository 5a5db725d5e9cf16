// Texts of the tray icon, which both platforms show alike.
#pragma once

#include <string>

struct TrayTexts {
    std::string tooltip;       // the server name, at most 127 characters
    std::string balloonText;   // server name + " started", at most 255 characters
    std::string balloonTitle;  // the server name, at most 63 characters
    // When no browser could be followed: the site stays until Close; at most 255 characters.
    std::string untilCloseText;
    std::string runningItem;  // the menu's first, disabled item
    std::string closeItem;    // "Close " + server name
};

// The menu item that ends the program, before its server name is put in.
extern const char kCloseItemTemplate[];

TrayTexts MakeTrayTexts(const std::string& serverName);

// The command id of the tray menu's Close item, as the Windows menu resource holds it.
constexpr unsigned kAppExitCommand = 0xE141;
// The tray icon's id, also the id of its menu resource; the icon's own id; the callback message.
constexpr unsigned kTrayIconId = 131;
constexpr unsigned kTrayCallbackMessage = 0x800A;
constexpr int kBalloonSeconds = 5;
