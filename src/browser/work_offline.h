// The watcher for Internet Explorer's work-offline dialog, which would otherwise keep the site
// from opening when the machine has no network: for 30 s it looks for a window with one of the
// known titles and presses the dialog's button by its command id.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "sys/thread.h"

struct AppSettings;

class CSearchWorkOfflineDialog : public CThread {
public:
    // Polls this often, this many times.
    static constexpr unsigned long kPollMs = 100;
    static constexpr int kPolls = 300;
    // The command the dialog's button sends (WM_COMMAND's wParam).
    static constexpr unsigned kWorkOfflineCommand = 1053;

    // Reads settings.workOfflineTitles while it runs; the settings outlive the thread.
    explicit CSearchWorkOfflineDialog(const AppSettings& settings);
    ~CSearchWorkOfflineDialog() override;

    // Whether this platform has such a dialog to watch for (Windows only). Elsewhere Run ends at
    // once.
    static bool HasDialog();

protected:
    std::uint32_t Run() override;
    void OnKill() override;

private:
    const AppSettings& settings_;
    std::atomic<std::uint32_t> stopRequested_{0};
};

// Sends the work-offline command to the top-level window whose whole title is `title`, with a
// beep; false when there is no such window.
bool PressWorkOffline(const std::string& title);
