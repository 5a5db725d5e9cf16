// Windows only: the dialog found by its title and pressed by message.
#include "browser/work_offline.h"

#include <windows.h>

bool CSearchWorkOfflineDialog::HasDialog() {
    return true;
}

bool PressWorkOffline(const std::string& title) {
    HWND dialog = FindWindowA(nullptr, title.c_str());
    if (dialog == nullptr) {
        return false;
    }
    MessageBeep(0xFFFFFFFF);
    // Waits until the dialog has handled the command.
    SendMessageA(dialog, WM_COMMAND, CSearchWorkOfflineDialog::kWorkOfflineCommand, 0);
    return true;
}
