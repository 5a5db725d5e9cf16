// A launcher stub: "launch_handover PIDFILE [DELAY_MS]" waits DELAY_MS (0 by default), starts
// "launch_window PIDFILE" and exits, so that the program the user sees runs under another name
// than the one that was started, and is no longer the stub's child once the stub has gone.
#include <cstdlib>

#include "launch_common.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        return 2;
    }
    if (argc > 2) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2])));
    }
    return launchhelper::Start(launchhelper::Sibling(argv[0], "launch_window"), {argv[1]}) ? 0 : 3;
}
