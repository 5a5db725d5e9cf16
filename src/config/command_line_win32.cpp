// Windows only: the command line is the one the system keeps for the process.
#include "config/command_line.h"

#include <windows.h>

std::string ProcessCommandLine() {
    const char* text = GetCommandLineA();
    return text != nullptr ? text : "";
}
