// Linux only: what both launchers know of displays.
#include <cstdlib>
#include <initializer_list>

#include "app/shell_platform.h"

const char kDesktopLauncherName[] = "trailhost-desktop";

bool DisplayNamed() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}
