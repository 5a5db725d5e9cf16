// A launcher stub: "launch_handover PIDFILE" starts "launch_window PIDFILE" and exits at once,
// so that the program the user sees runs under another name than the one that was started.
#include "launch_common.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        return 2;
    }
    return launchhelper::Start(launchhelper::Sibling(argv[0], "launch_window"), {argv[1]}) ? 0 : 3;
}
