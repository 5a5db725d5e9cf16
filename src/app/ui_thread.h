// Linux only: the UI thread. It runs the message loop; other threads hand it work and, where the
// caller must see the result (a message box, a close request), wait for it. The loop is Qt's when
// the desktop launcher shows windows, and a plain poll loop in the launcher without a display,
// which loads no toolkit at all.
#pragma once

#include <functional>
#include <memory>

// Whether windows can be shown: a Qt application runs on a display (not the offscreen fallback
// that start-up chose because no display could be opened).
bool GuiAvailable();

// Start-up's decision that there is no usable display although Qt could start.
void SetHeadless(bool headless);

// Runs `work` on the UI thread: at once when called there, otherwise queued. With `wait`, returns
// once it has run (true), or when the UI thread stopped taking work before it ran or `timeoutMs`
// (-1: no limit) passed (false).
bool RunOnUiThread(std::function<void()> work, bool wait, int timeoutMs = -1);

// Calls its callback on the UI thread whenever the descriptor has something to read, until it is
// destroyed (also from inside that callback). The descriptor stays the caller's.
class ReadWatch {
public:
    virtual ~ReadWatch() = default;
};
std::unique_ptr<ReadWatch> WatchReadable(int fd, std::function<void()> onReadable);

// Runs the loop on the calling thread, which becomes the UI thread, until QuitUiLoop.
int RunUiLoop();

// Ends the loop once it gets to it; also a loop that has not started yet.
void QuitUiLoop();

// Marks the end of the UI thread's loop: waiters give up, later work is dropped.
void StopUiThreadWork();

// The loop's own part of RunOnUiThread, one per loop: whether the caller is the UI thread, and
// queueing work there (dropping it destroys it, which the waiter sees).
bool OnUiThread();
void QueueOnUiThread(std::function<void()> work);
