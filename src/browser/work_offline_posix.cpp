// Linux only: no browser here shows such a dialog.
#include "browser/work_offline.h"

bool CSearchWorkOfflineDialog::HasDialog() {
    return false;
}

bool PressWorkOffline(const std::string&) {
    return false;
}
