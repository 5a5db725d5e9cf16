#include "browser/browser_lookup.h"
#include "browser/starters.h"
#include "config/settings.h"
#include "sys/files.h"
#include "sys/message_box.h"

namespace Browser {

bool CExternalBrowserStarter::IsAvailable() {
    return PathExists(settings().browserPath);
}

void CExternalBrowserStarter::StartWithUrl(const std::string& startUrl) {
    AddHostToProxyOverride();
    Launch(PathBrowserCommand(settings().browserPath, startUrl), LaunchWait::UntilExit, true,
           WindowSearch::Handover, settings().browserSize);
}

void CExternalBrowserStarter::Stop() {
    EndBrowser();
    RestoreProxyOverride();
}

bool CPortableFirefoxBrowserStarter::IsAvailable() {
    return PathExists(settings().browserPath);
}

void CPortableFirefoxBrowserStarter::StartWithUrl(const std::string& startUrl) {
    AddHostToProxyOverride();
    Launch(PathBrowserCommand(settings().browserPath, startUrl), LaunchWait::UntilExit, true,
           kPortableFirefoxSearch, settings().browserSize, kPortableFirefoxProcess);
}

void CPortableFirefoxBrowserStarter::Stop() {
    EndBrowser();
    RestoreProxyOverride();
}

void CHandlerCommandStarter::StartWithUrl(const std::string& startUrl) {
    if (exec_.empty()) {
        ShowMessageBox("No web browser was found to open " + startUrl, "Error",
                       kMessageBoxIconInformation);
        return;
    }
    AddHostToProxyOverride();
    Launch(JoinWindowsCommandLine(HandlerCommandArguments(exec_, startUrl)), LaunchWait::UntilExit,
           true, kHandlerCommandSearch, settings().browserSize);
}

void CHandlerCommandStarter::Stop() {
    EndBrowser();
    RestoreProxyOverride();
}

}  // namespace Browser
