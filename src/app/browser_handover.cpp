#include "app/browser_handover.h"

#include "browser/browser_starter.h"
#include "browser/work_offline.h"
#include "stack/web_server.h"

StarterHandover::StarterHandover() = default;

StarterHandover::~StarterHandover() = default;

bool StarterHandover::OpenSiteAndWait(StackState& state, const AppSettings& settings) {
    if (settings.browserType == BrowserType::IEXPLORER) {
        auto watcher = std::make_unique<CSearchWorkOfflineDialog>(settings);
        watcher->Start();
        watcher->SetPriority(kThreadPriorityLowest);
        // Too late when the stop has begun: the watcher then goes with this scope.
        if (!state.Publish([&] { state.workOfflineSearch = std::move(watcher); })) {
            return true;
        }
    }
    if (!state.webServer) {
        return true;
    }
    starter_ = Browser::ChooseBrowserStarter(settings.browserType, settings, state.runtimeFolder);
    if (!starter_) {
        return true;
    }
    Browser::CBrowserStarter* starter = starter_.get();
    if (!state.SetBrowserStop([starter] {
            starter->Stop();
            return starter->UndidEverything();
        })) {
        return true;
    }
    starter->Start(*state.webServer);
    return starter->Followed();
}
