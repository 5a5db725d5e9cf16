#include "browser/browser_starter.h"

#include "browser/proxy_exceptions.h"
#include "browser/starters.h"
#include "config/settings.h"
#include "stack/run_journal.h"
#include "stack/web_server.h"
#include "sys/folders.h"

namespace Browser {

CBrowserStarter::CBrowserStarter(const AppSettings& settings, std::string runtimeFolder)
    : settings_(settings), runtimeFolder_(WithTrailingSeparator(std::move(runtimeFolder))) {}

CBrowserStarter::~CBrowserStarter() = default;

void CBrowserStarter::Start(const WebServerControl& webServer) {
    StartWithUrl(webServer.GetStartUrl());
}

void CBrowserStarter::AddHostToProxyOverride() {
    std::lock_guard<std::mutex> hold(proxyLock_);
    // A second call must not save the changed value as the one to put back.
    if (proxyChanged_) {
        return;
    }
    savedProxy_ =
        AddProxyException(settings_.hostName, [this](const std::vector<SavedSetting>& before) {
            for (const SavedSetting& setting : before) {
                RecordInJournal(runtimeFolder_, journal::kProxy,
                                ProxyJournalFields(setting, settings_.hostName));
            }
        });
    proxyChanged_ = !savedProxy_.empty();
}

void CBrowserStarter::RestoreProxyOverride() {
    std::lock_guard<std::mutex> hold(proxyLock_);
    if (!proxyChanged_) {
        return;
    }
    if (!RestoreProxyExceptions(savedProxy_, settings_.hostName)) {
        NoteUndoFailed();
    }
    proxyChanged_ = false;
    savedProxy_.clear();
}

std::string CBrowserStarter::UserFolder() const {
    return WithoutTrailingSeparators(userFolder_.empty() ? GetSpecialFolderPath(kCsidlAppData)
                                                         : userFolder_);
}

bool CBrowserStarter::Launch(const std::string& command, LaunchWait wait, bool show,
                             WindowSearch search, const std::string& size,
                             const std::string& processName) {
    return Launch(command, OptionsOf(wait, show, search, size, processName));
}

bool CBrowserStarter::Launch(const std::string& command, const LaunchOptions& options) {
    if (stopRequested_) {
        return false;
    }
    return launcher_.Launch(command, options);
}

void CBrowserStarter::EndBrowser() {
    stopRequested_ = true;
    launcher_.Cancel();
    launcher_.TerminateTree();
}

std::unique_ptr<CBrowserStarter> CreateBrowserStarter(BrowserType browserType,
                                                      const AppSettings& settings,
                                                      const std::string& runtimeFolder) {
    switch (browserType) {
        case BrowserType::NONE:
            return nullptr;
        case BrowserType::IEXPLORER:
            return std::make_unique<CInternetExplorerStarter>(settings, runtimeFolder);
        case BrowserType::MOZILLA:
            return std::make_unique<CMozillaStarter>(settings, runtimeFolder);
        case BrowserType::FIREFOX:
            return std::make_unique<CFirfoxStarter>(settings, runtimeFolder);
        case BrowserType::EXTERNAL:
            return std::make_unique<CExternalBrowserStarter>(settings, runtimeFolder);
        case BrowserType::PORTABLEFIREFOX:
            return std::make_unique<CPortableFirefoxBrowserStarter>(settings, runtimeFolder);
        case BrowserType::CHROMIUM:
            return std::make_unique<CChromiumStarter>(settings, runtimeFolder);
        default:
            return std::make_unique<CSystemDefaultStarter>(settings, runtimeFolder);
    }
}

std::unique_ptr<CBrowserStarter> ChooseBrowserStarter(BrowserType browserType,
                                                      const AppSettings& settings,
                                                      const std::string& runtimeFolder) {
    std::unique_ptr<CBrowserStarter> starter =
        CreateBrowserStarter(browserType, settings, runtimeFolder);
    if (starter && !starter->IsAvailable()) {
        starter = CreateBrowserStarter(BrowserType::DEFAULT, settings, runtimeFolder);
    }
    return starter;
}

}  // namespace Browser
