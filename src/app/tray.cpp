#include "app/tray.h"

const char kCloseItemTemplate[] = "Close {SERVERNAME}";

namespace {

std::string Cut(const std::string& text, size_t length) {
    return text.substr(0, length);
}

std::string ReplaceAll(std::string text, const std::string& token, const std::string& value) {
    for (size_t at = text.find(token); at != std::string::npos;
         at = text.find(token, at + value.size())) {
        text.replace(at, token.size(), value);
    }
    return text;
}

}  // namespace

TrayTexts MakeTrayTexts(const std::string& serverName) {
    TrayTexts texts;
    texts.tooltip = Cut(serverName, 127);
    texts.balloonText = Cut(serverName + " started", 255);
    texts.balloonTitle = Cut(serverName, 63);
    texts.untilCloseText =
        Cut(serverName + " stays open until you choose Close in this icon's menu", 255);
    // "Anwendung läuft", with the a-umlaut of the system code page on Windows.
#ifdef _WIN32
    texts.runningItem = "Anwendung l\xe4uft";
#else
    texts.runningItem = "Anwendung l\xc3\xa4uft";
#endif
    texts.closeItem = ReplaceAll(kCloseItemTemplate, "{SERVERNAME}", serverName);
    return texts;
}
