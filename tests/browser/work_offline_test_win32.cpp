// The work-offline watcher under Wine and Xvfb: helper windows play the dialog.
#include <gtest/gtest.h>

#include "browser/work_offline.h"
#include "browser_test_support.h"
#include "config/settings.h"
#include "sys/launcher.h"

namespace {

using browsertest::AwaitLine;

TEST(WorkOfflineWatcher, PressesOnlyAWindowWithAWholeWatchedTitle) {
    testsupport::TempDir dir;
    const std::string helper = "\"" + testsupport::HelperPath("browser_offline_window") + "\"";
    ProcessLauncher exact;
    ProcessLauncher longer;
    ASSERT_TRUE(exact.Launch(helper + " \"Offline arbeiten\" \"" + (dir / "exact") + "\"", "",
                             LaunchWait::None, true, WindowSearch::Direct));
    ASSERT_TRUE(longer.Launch(helper + " \"Offline arbeiten 2\" \"" + (dir / "longer") + "\"", "",
                              LaunchWait::None, true, WindowSearch::Direct));
    ASSERT_TRUE(AwaitLine(dir / "exact", "ready"));
    ASSERT_TRUE(AwaitLine(dir / "longer", "ready"));

    AppSettings settings;
    settings.workOfflineTitles = {"Work Offline", "Offline arbeiten", "Offlinebetrieb"};
    {
        CSearchWorkOfflineDialog watcher(settings);
        watcher.Start();
        watcher.SetPriority(kThreadPriorityLowest);
        // Pressed again at the next poll while the dialog stays; both windows were there for
        // both polls.
        EXPECT_TRUE(AwaitLine(dir / "exact", "command 1053", 2));
        EXPECT_TRUE(watcher.IsAlive());
        watcher.StopAndWait();
        EXPECT_FALSE(watcher.IsAlive());
    }
    const std::string longerLog = testsupport::ReadFile(dir / "longer");
    exact.TerminateTree();
    longer.TerminateTree();
    EXPECT_EQ(longerLog, "ready\n");
}

}  // namespace
