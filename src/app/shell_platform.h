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
