#include "app/run_recovery.h"

#include "browser/browser_starter.h"
#include "stack/run_recovery.h"
#include "stack/stack_state.h"
#include "stack/stack_trace.h"
#include "stack/stop_sequence.h"
#include "sys/files.h"
#include "sys/trace.h"

void RecoverAbandonedRuns(const StackPlaces& places) {
    for (const AbandonedRun& run : FindAbandonedRuns(places.tempFolder, places.exeFolder)) {
        TraceLog(kStackTracePath, "Undoing the changes of an earlier run in %s\n",
                 run.runtimeFolder.c_str());
        UndoStackChanges(run);
        Browser::UndoBrowserChanges(run.entries);
        DeleteFolderTree(WithoutTrailingSeparator(run.runtimeFolder));
    }
}
