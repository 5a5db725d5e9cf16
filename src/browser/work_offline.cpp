#include "browser/work_offline.h"

#include "config/settings.h"

CSearchWorkOfflineDialog::CSearchWorkOfflineDialog(const AppSettings& settings)
    : settings_(settings) {}

CSearchWorkOfflineDialog::~CSearchWorkOfflineDialog() {
    StopAndWait();
}

std::uint32_t CSearchWorkOfflineDialog::Run() {
    if (!HasDialog()) {
        return 0;
    }
    for (int poll = 0; poll < kPolls; ++poll) {
        // The dialog is pressed at every poll for as long as it is there.
        for (const std::string& title : settings_.workOfflineTitles) {
            PressWorkOffline(title);
        }
        if (!Pause(kPollMs)) {
            break;
        }
    }
    return 0;
}

void CSearchWorkOfflineDialog::OnKill() {
    stopRequested_ = 1;
    CThread::OnKill();
}
