// What the shell's tests see of other processes' windows: the desktop's work area, the colour of a
// screen pixel, the box a second copy shows, and whether started copies get a display.
#pragma once

#include <cstdint>
#include <string>

#include "child_process.h"

namespace shelltest {

struct Area {
    int left;
    int top;
    int right;
    int bottom;
};

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
class HeadlessCopies {
public:
    HeadlessCopies();
    ~HeadlessCopies();
    HeadlessCopies(const HeadlessCopies&) = delete;
    HeadlessCopies& operator=(const HeadlessCopies&) = delete;

private:
    std::string saved_[3];
    bool had_[3] = {};
};

}  // namespace shelltest
