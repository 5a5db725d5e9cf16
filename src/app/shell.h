// The seam between the shell (hidden frame, splash screen, tray icon, shutdown dialog and the ways
// of ending) and the program behind it (server runner, browser starter, stop sequence): the shell
// offers ShellServices, the program offers ShellProgram.
#pragma once

#include "stack/shell_services.h"

struct AppSettings;

// What the shell asks of the program.
class ShellProgram {
public:
    virtual ~ShellProgram() = default;

    // Start-up's last step: starts the server runner on its own thread. `shell` and `settings`
    // live until the process ends.
    virtual void Start(ShellServices& shell, AppSettings& settings) = 0;

    // A close request (the tray's Close, a second copy started with -shutdown, or the runner's
    // own close once its stop sequence has ended): stops the browser and runs the stop sequence
    // in its close-path mode, which finds a stop that the runner has run already. Called at most
    // once, on a thread of the shell's own so that it may block; on the UI thread only when the
    // frame goes without a close request (a copy started with -shutdown, which never called
    // Start). Returns only when no stop sequence runs any more and the runner has ended: the
    // process ends right after.
    virtual void Stop() = 0;
};

// The whole program on the main thread: start-up, then the message loop until the frame is gone.
// Returns the process exit code.
int RunShell(ShellProgram& program);
