// The server runner: the worker thread that brings the stack up, hands over to the browser and,
// once the browser has been closed, takes the stack down again.
#pragma once

#include <atomic>
#include <cstdint>

#include "config/settings.h"
#include "stack/stack_state.h"
#include "sys/thread.h"

// Opens the site in the configured browser. Implemented by the browser layer's hand-over.
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

// The application's side of a run: what the stack sequences need, and the splash screen.
class RunnerShell : public StackShell {
public:
    // Closes the splash screen (its thread quits; waits for it at most one second).
    virtual void CloseSplash() = 0;
    // Tells the user that the site stays up until Close is chosen: the tray icon with a balloon
    // (shown for this even without ShowTrayIcon), or a line on standard error without a display.
    virtual void ShowRunningUntilClose() = 0;
};

// Runs, on its own thread: the start sequence; after a refused or failed start the splash screen
// closes and the stop sequence takes down what the start made and ends the program. Otherwise a
// pause of 1.5 s, the splash screen closed (when there is one), the browser hand-over, and then
// either the stop sequence (which ends by closing the main frame) or, with
// keepRunningAfterBrowserClose or a browser that could not be followed, nothing until the frame's
// close path stops the stack. Once the
// close path's stop sequence has begun, the runner opens no browser and ends by itself (after at
// most one 2 s pass when it keeps running); Kill ends its pauses at once.
class CServerRunner : public CThread {
public:
    static constexpr unsigned long kPauseBeforeBrowserMs = 1500;
    static constexpr unsigned long kKeepRunningPassMs = 2000;

    CServerRunner(StackState& state, AppSettings& settings, RunnerShell& shell,
                  BrowserHandover& browser);
    ~CServerRunner() override;

protected:
    std::uint32_t Run() override;
    void OnKill() override;

private:
    std::atomic<std::uint32_t> stop_{0};
    StackState& state_;
    AppSettings& settings_;
    RunnerShell& shell_;
    BrowserHandover& browser_;
};
