// The seam between the shell (hidden frame, splash screen, tray icon, shutdown dialog and the ways
// of ending) and the program behind it (server runner, browser starter, stop sequence).
#pragma once

#include <string>

struct AppSettings;

// What the program may ask of the shell. Every call is safe from any thread; the windows behind
// them belong to the UI thread, which keeps them painting while the caller works.
class ShellServices {
public:
    virtual ~ShellServices() = default;

    // Moves the splash screen's bar (0 to 100), making the bar on the first call. Nothing when
    // there is no splash screen or ShowStartupProgress is off.
    virtual void PostStartupProgress(int percent) = 0;

    // Closes the splash screen (when SplashFile is set), waiting at most 1000 ms for it to go.
    virtual void CloseSplash() = 0;

    // Shows the shutdown dialog with `message`, its bar at 0. Nothing when headless.
    virtual void ShowShutdownDialog(const std::string& message) = 0;

    // Moves the shutdown dialog's bar (0 to 100); nothing without a dialog.
    virtual void SetShutdownProgress(int position) = 0;

    // Shows the tray icon (also without ShowTrayIcon) with a balloon saying that the site stays
    // up until Close is chosen; without a display, says so on standard error.
    virtual void ShowRunningUntilClose() = 0;

    // Asks the frame to close, like WM_CLOSE sent to it: returns once the UI thread has taken the
    // request, not when the program has ended (the caller may be the stop sequence that the
    // close path waits for).
    virtual void CloseFrame() = 0;
};

// What the shell asks of the program.
class ShellProgram {
public:
    virtual ~ShellProgram() = default;

    // Start-up's last step: starts the server runner on its own thread. `shell` and `settings`
    // live until the process ends.
    virtual void Start(ShellServices& shell, AppSettings& settings) = 0;

    // A close request (the tray's Close, a second copy started with -shutdown, or the close that
    // ends the runner's own stop sequence): stops the browser and runs the stop sequence in its
    // close-path mode. Called at most once, on a thread of the shell's own so that it may block;
    // on the UI thread only when the frame goes without a close request (a copy started with
    // -shutdown, which never called Start). Returns only when no stop sequence runs any more and
    // the runner starts nothing more: the process ends right after.
    virtual void Stop() = 0;
};

// The whole program on the main thread: start-up, then the message loop until the frame is gone.
// Returns the process exit code.
int RunShell(ShellProgram& program);
