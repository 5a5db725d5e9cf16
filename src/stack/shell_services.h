// The application's shell as the program behind it reaches it: the one interface through which the
// start and stop sequences and the server runner reach the splash screen, message boxes, the
// shutdown dialog, the tray and the main frame above them.
#pragma once

#include <string>

// Every call is safe from any thread (the runner's, the close path's); the windows behind them
// belong to the UI thread, which keeps them painting while the caller works.
class ShellServices {
public:
    virtual ~ShellServices() = default;

    // Moves the splash screen's bar (0 to 100), making the bar on the first call; must not block.
    // Nothing when there is no splash screen or ShowStartupProgress is off.
    virtual void PostStartupProgress(int percent) = 0;

    // Closes the splash screen (when SplashFile is set), waiting at most 1000 ms for it to go.
    virtual void CloseSplash() = 0;

    // A box owned by the main frame with the text, the caption and an OK button; returns when the
    // user has closed it.
    virtual void ShowMessageBox(const std::string& text, const std::string& caption) = 0;

    // Shows the shutdown dialog with `message`, its bar at 0. Nothing when headless.
    virtual void ShowShutdownDialog(const std::string& message) = 0;
    // Moves the shutdown dialog's bar (0 to 100) and repaints it; nothing without a dialog.
    virtual void SetShutdownProgress(int position) = 0;

    // Shows the tray icon (also without ShowTrayIcon) with a balloon saying that the site stays
    // up until Close is chosen; without a display, says so on standard error.
    virtual void ShowRunningUntilClose() = 0;

    // Asks the frame to close, like WM_CLOSE sent to it: returns once the UI thread has taken the
    // request, not when the program has ended. The frame's close path then runs the program's stop
    // on a thread of its own.
    virtual void CloseMainFrame() = 0;
};
