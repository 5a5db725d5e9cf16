// The hidden main frame. It is never visible; it exists so that a second copy can find the running
// one (by the caption "Untitled - RM_HUB" on Windows, by a per-user local socket named after it on
// Linux), so that the tray icon and the shutdown dialog have an owner, and so that every way of
// ending (the browser closed, the tray's Close, a second copy) becomes one close path.
//
// The close path: a close request starts the program's Stop on a thread of its own and returns,
// so the UI thread keeps turning and the shutdown dialog keeps painting; a second request while
// one runs is ignored. Only when Stop has returned (the program waits there for a stop sequence
// that another thread may still be running) is the frame destroyed, which ends the message loop
// and the process.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct AppSettings;
class ShellProgram;

class CMainFrame {
public:
    CMainFrame(AppSettings& settings, ShellProgram& program);
    // Destroys the frame if it still exists; waits for a close thread that still stops.
    ~CMainFrame();
    CMainFrame(const CMainFrame&) = delete;
    CMainFrame& operator=(const CMainFrame&) = delete;

    // On the UI thread: makes the hidden frame and, with ShowTrayIcon, the tray icon (a tray
    // icon that cannot be added stays away). False when the frame cannot be made.
    bool Create();

    // On the UI thread: hides the frame and updates it (start-up does so after creation).
    void Hide();

    // From any thread: a close request, as WM_CLOSE sent to the frame. Returns once the UI thread
    // has taken it; nothing when the frame is gone.
    void Close();

    // On the UI thread: destroys the frame without a close request (the end of a copy started
    // with -shutdown); the program's Stop runs here unless a close already ran it.
    void Destroy();

    // From any thread: the shutdown dialog, made and moved by the UI thread. Nothing when the
    // program runs without a display.
    void ShowShutdownDialog(const std::string& message);
    void SetShutdownProgress(int position);

    // From any thread: the tray icon (made now when ShowTrayIcon kept it away) with the balloon
    // saying the site stays up until Close; a line on standard error without a display.
    void ShowRunningUntilClose();

    // On the UI thread: brings this copy's last active window forward (a second copy asked).
    void Activate();

    // The frame's window handle on Windows; 0 on Linux.
    std::uintptr_t WindowHandle() const;

    // Whether the frame exists (created and not yet destroyed).
    bool Exists() const;

    // Expires when the frame object goes (on the UI thread), so that work queued for it can tell.
    std::weak_ptr<const void> Lifetime() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Start-up's -shutdown path: posts a close request to the frame of another running copy (the
// first one found); false when there is none.
bool ShutdownRunningInstance();
