// What the shell's tests see of windows, in the same terms on both platforms: the UI thread's
// loop, the shell's own windows and tray icon, screenshots, and the windows of started copies.
#pragma once

#include <atomic>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "child_process.h"
#include "test_support.h"

namespace shelltest {

struct Area {
    int left;
    int top;
    int right;
    int bottom;
    bool operator==(const Area& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};
inline std::ostream& operator<<(std::ostream& out, const Area& a) {
    return out << "(" << a.left << "," << a.top << ")-(" << a.right << "," << a.bottom << ")";
}

// Runs this thread's share of the UI (Qt's events, the thread's messages) until `done` holds;
// false after `timeoutMs`, which only bounds a test that fails.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 30000);

// Runs the UI loop as the program does, until the frame ends it; false when it did not end.
bool LoopEnds(int timeoutMs = 30000);

// Handles what is queued for the UI thread, dropping the end of a loop that no longer runs.
void DrainUi();

// Lets the UI thread handle the requests that this process's endpoints have been sent so far
// (Linux); on Windows the activating thread handles its request itself.
void HandleRequestsSent();

// Runs `work` on another thread while this one turns the UI loop.
inline void OffUiThread(const std::function<void()>& work) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
    });
    PumpUntil([&] { return done.load(); });
    worker.join();
}

// The shell's windows of this process.
enum class ShellWindow { kSplash, kShutdownDialog };

// One look at a shell window.
struct WindowLook {
    bool shown = false;  // it exists, is visible and has a size
    Area rect{};         // on the screen
    bool topmostWithoutFrame = false;
    bool ownThread = false;  // served by a thread other than the caller's
    bool hasBar = false;
    Area bar{};  // in the window's client area
    int barValue = -1;
    int barMaximum = -1;
    std::string text;  // the dialog's message
};
WindowLook LookAt(ShellWindow window);

// Keeps a picture of the window and its surroundings as a test artefact named `name`.
void KeepScreenshot(ShellWindow window, const std::string& name);

// Whether the frame's tray icon is in the notification area, with its picture.
bool TrayIconShown();

// Opens the tray menu as a right click on the icon does, and chooses item `choose` (-1: the menu
// is dismissed). The menu's items as it showed them: their texts, and whether they were enabled.
using MenuItem = std::pair<std::string, bool>;
std::vector<MenuItem> UseTrayMenu(int choose);

void DoubleClickTray();

// Waits for the box that another thread of this process shows with `caption`, calls `onShown`,
// answers it with OK. Its text, and whether it stands above the splash screen.
struct BoxLook {
    std::string text;
    bool aboveSplash = false;
};
BoxLook AnswerOwnBox(const std::string& caption, const std::function<void()>& onShown);

// Whether copies started by the test show their windows on the test's own screen (Linux: only
// on a real display, not on Qt's offscreen platform).
bool SharedDisplay();

// The work area of the desktop the tests run on.
Area DesktopWorkArea();

// The colour of one screen pixel as 0xRRGGBB; -1 when it cannot be read.
long ScreenPixel(int x, int y);

// Waits for the box that a started copy shows with `caption`, answers it with OK and returns its
// text (Windows); or waits for the copy to end and returns the text it wrote to standard error
// under that caption (Linux, where the copies run without a display). Empty when there was none.
std::string AnswerBox(testsupport::ChildProcess& copy, const std::string& folder,
                      const std::string& caption);

// While it lives, copies started by the test run without a display (Linux); nothing on Windows.
struct HeadlessCopies {
#ifndef _WIN32
    testsupport::ScopedEnv display{"DISPLAY", std::nullopt};
    testsupport::ScopedEnv wayland{"WAYLAND_DISPLAY", std::nullopt};
    testsupport::ScopedEnv platform{"QT_QPA_PLATFORM", std::nullopt};
#endif
};

}  // namespace shelltest
