// The server runner: the worker thread that brings the stack up, hands over to the browser and,
// once the browser has been closed, takes the stack down again.
#pragma once

#include <atomic>
#include <cstdint>

#include "config/settings.h"
#include "stack/shell_services.h"
#include "stack/stack_state.h"
#include "sys/thread.h"

// Opens the site in the configured browser. Implemented by StarterHandover (browser_handover.h).
class BrowserHandover {
public:
    virtual ~BrowserHandover() = default;

    // Creates the starter for settings.browserType (and, for Internet Explorer, the work-offline
    // watcher, kept in state.workOfflineSearch), keeps its stop operation with
    // state.SetBrowserStop (and opens nothing when that is refused), and opens state.webServer's
    // start URL. Returns once the browser has been closed; at once when the type has no browser
    // (NONE). False when the browser could not be followed to its end (see
    // CBrowserStarter::Followed): its end then does not end the run.
    virtual bool OpenSiteAndWait(StackState& state, const AppSettings& settings) = 0;
};

// Runs, on its own thread: the start sequence; after a refused or failed start the splash screen
// closes, the stop sequence takes down what the start made, and the main frame is closed, which
// ends the program. Otherwise a pause (timeouts.pauseBeforeBrowserMs, 1.5 s), the splash screen
// closed (when there is one), the browser hand-over, and then either the same stop and close or,
// with keepRunningAfterBrowserClose or a browser that could not be followed, nothing until the
// frame's close path stops the stack. The frame is closed only once the runner's stop has ended, so
// the close path finds nothing left to wait for. Once the close path's stop sequence has begun, the
// runner opens no browser and ends by itself (after at most one 2 s pass when it keeps running);
// Kill ends its pauses at once.
class CServerRunner : public CThread {
public:
    static constexpr unsigned long kKeepRunningPassMs = 2000;

    CServerRunner(StackState& state, AppSettings& settings, ShellServices& shell,
                  BrowserHandover& browser);
    ~CServerRunner() override;

protected:
    std::uint32_t Run() override;
    void OnKill() override;

private:
    std::atomic<std::uint32_t> stop_{0};
    StackState& state_;
    AppSettings& settings_;
    ShellServices& shell_;
    BrowserHandover& browser_;
};
