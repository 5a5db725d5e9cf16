// What start-up needs from the platform besides the shell's own windows: the start of the UI
// toolkit, OLE, whether there is a display, and the message loop.
#pragma once

#include <memory>

class ShellPlatform {
public:
    // Windows: the common controls. Linux: the Qt application, with widgets when a display can
    // be opened, else without (headless).
    ShellPlatform();
    ~ShellPlatform();
    ShellPlatform(const ShellPlatform&) = delete;
    ShellPlatform& operator=(const ShellPlatform&) = delete;

    // Windows: OleInitialize, false when it fails. Linux: nothing to start.
    bool StartOle();

    // Whether windows can be shown (always on Windows).
    bool HasDisplay() const;

    // Runs the UI thread's message loop until the frame has been destroyed; the exit code.
    int RunMessageLoop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

#ifndef _WIN32
// The launcher with windows, which the one without a toolkit hands a run on a display to; it
// lies beside it.
extern const char kDesktopLauncherName[];

// Whether the environment names a display (X11 or Wayland) for windows to go to.
bool DisplayNamed();

// On the UI thread: brings the program's front window forward (a modal one first); nothing
// without windows.
void RaiseFrontWindow();
#endif
