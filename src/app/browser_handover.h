// The browser hand-over of a real run, between the server runner and the browser starters.
#pragma once

#include <memory>

#include "app/server_runner.h"

namespace Browser {
class CBrowserStarter;
}

// Opens the site with the starter for the configured browser type, replaced by the system's
// default browser when that browser is not on this machine; for Internet Explorer also starts
// the work-offline watcher. The object keeps the starter for the rest of the process: the frame's
// close path stops it through StackState::StopBrowser.
class StarterHandover : public BrowserHandover {
public:
    StarterHandover();
    ~StarterHandover() override;
    StarterHandover(const StarterHandover&) = delete;
    StarterHandover& operator=(const StarterHandover&) = delete;

    bool OpenSiteAndWait(StackState& state, const AppSettings& settings) override;

private:
    std::unique_ptr<Browser::CBrowserStarter> starter_;
};
