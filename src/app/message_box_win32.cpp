// Windows only: a system message box works from any thread and runs its own loop.
#include "app/message_box.h"

#include <windows.h>

int ShowShellMessageBox(const std::string& text, const std::string& caption, unsigned style) {
    return MessageBoxA(nullptr, text.c_str(), caption.c_str(), style);
}
