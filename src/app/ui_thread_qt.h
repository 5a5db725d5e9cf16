// Linux only: the UI thread of the Qt shell. Widgets live on it; other threads hand it work and,
// where the caller must see the result (a message box, a close request), wait for it.
#pragma once

#include <functional>

class QObject;

// Whether windows can be shown: a QApplication runs on a display (not the offscreen fallback that
// start-up chose because no display could be opened).
bool GuiAvailable();

// Start-up's decision that there is no usable display although Qt could start.
void SetHeadless(bool headless);

// Runs `work` on the UI thread: at once when called there, otherwise queued. The work is dropped
// when `context` (the application when null) is deleted first. With `wait`, returns once it has
// run (true), or when it was dropped, the UI thread stopped taking work, or `timeoutMs` (-1: no
// limit) passed (false).
bool RunOnUiThread(QObject* context, std::function<void()> work, bool wait, int timeoutMs = -1);

// Marks the end of the UI thread's loop: waiters give up, later work is dropped.
void StopUiThreadWork();
