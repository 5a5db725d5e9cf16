// Linux has no work-offline dialog: the watcher ends at once.
#include <gtest/gtest.h>

#include "browser/work_offline.h"
#include "browser_test_support.h"
#include "config/settings.h"

namespace {

TEST(WorkOfflineWatcher, EndsAtOnceWhereNoDialogExists) {
    AppSettings settings;
    settings.workOfflineTitles = {"Work Offline", "Offline arbeiten", "Offlinebetrieb"};
    CSearchWorkOfflineDialog watcher(settings);
    watcher.Start();
    const ThreadHandle handle = watcher.GetHandle();
    // A watcher that polled would take its 30 s; this wait is a third of that.
    EXPECT_TRUE(!handle || handle.Wait(10000));
    EXPECT_FALSE(watcher.IsAlive());
    EXPECT_EQ(watcher.GetExitCode(), 0u);
}

}  // namespace
