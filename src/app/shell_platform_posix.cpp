// Linux only: what both launchers know of displays.
#include <initializer_list>

#include "app/shell_platform.h"
#include "sys/environment.h"

const char kDesktopLauncherName[] = "trailhost-desktop";

bool DisplayNamed() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        if (!GetEnvironmentValue(name).empty()) {
            return true;
        }
    }
    return false;
}
