#include "browser/browser_lookup.h"
#include "browser/starters.h"

namespace Browser {

std::unique_ptr<CBrowserStarter> CSystemDefaultStarter::ChooseDelegate() const {
    return DelegateFor(FindDefaultHandler());
}

std::unique_ptr<CBrowserStarter> CSystemDefaultStarter::DelegateFor(
    const DefaultHandler& handler) const {
    std::unique_ptr<CBrowserStarter> chosen;
    switch (handler.kind) {
        case DefaultBrowserKind::kFirefox:
            chosen = handler.program.empty()
                         ? std::make_unique<CFirfoxStarter>(settings(), runtimeFolder())
                         : std::make_unique<CFirfoxStarter>(settings(), runtimeFolder(),
                                                            handler.program);
            break;
        case DefaultBrowserKind::kMozilla:
            chosen = handler.program.empty()
                         ? std::make_unique<CMozillaStarter>(settings(), runtimeFolder())
                         : std::make_unique<CMozillaStarter>(settings(), runtimeFolder(),
                                                             handler.program);
            break;
        case DefaultBrowserKind::kChromium: {
            std::string program = handler.program;
            if (program.empty()) {
                program = FindChromiumExecutable();
            }
            chosen = std::make_unique<CChromiumStarter>(settings(), runtimeFolder(), program);
            break;
        }
        case DefaultBrowserKind::kHandlerCommand:
            chosen = std::make_unique<CHandlerCommandStarter>(settings(), runtimeFolder(),
                                                              handler.program);
            break;
        case DefaultBrowserKind::kInternetExplorer:
            chosen = std::make_unique<CInternetExplorerStarter>(settings(), runtimeFolder());
            break;
    }
    chosen->SetUserFolder(userFolder_);
    return chosen;
}

void CSystemDefaultStarter::StartWithUrl(const std::string& startUrl) {
    if (stopped_ || delegate_) {
        return;
    }
    // The delegate's own availability is not asked: the handler is what the system opens pages
    // with.
    delegate_ = ChooseDelegate();
    started_ = delegate_.get();
    // A Stop that came while the delegate was chosen found none; it still counts.
    if (stopped_) {
        return;
    }
    delegate_->StartWithUrl(startUrl);
}

void CSystemDefaultStarter::Stop() {
    stopped_ = true;
    if (CBrowserStarter* delegate = started_) {
        delegate->Stop();
    }
}

bool CSystemDefaultStarter::Followed() const {
    const CBrowserStarter* delegate = started_;
    return delegate == nullptr || delegate->Followed();
}

void CSystemDefaultStarter::SetUserFolder(const std::string& folder) {
    CBrowserStarter::SetUserFolder(folder);
    userFolder_ = folder;
}

}  // namespace Browser
