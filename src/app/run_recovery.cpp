#include "app/run_recovery.h"

#include "browser/browser_starter.h"
#include "stack/db_staging.h"
#include "stack/run_journal.h"
#include "stack/run_recovery.h"
#include "stack/stack_state.h"
#include "stack/stack_trace.h"
#include "stack/stop_sequence.h"
#include "sys/files.h"
#include "sys/folders.h"
#include "sys/trace.h"

void RecoverAbandonedRuns(const StackPlaces& places) {
    for (const AbandonedRun& run : FindAbandonedRuns(places.tempFolder, places.exeFolder)) {
        TraceLog(kStackTracePath, "Undoing the changes of an earlier run in %s\n",
                 run.runtimeFolder.c_str());
        std::vector<JournalEntry> left = UndoStackChanges(run);
        const std::vector<JournalEntry> browserLeft = Browser::UndoBrowserChanges(run.entries);
        left.insert(left.end(), browserLeft.begin(), browserLeft.end());
        // Decrypted data never outlive their run, whatever else is left.
        DeleteFolderTree(UnpackFolderName(run.runtimeFolder));
        if (!left.empty()) {
            // The journal keeps what could not be undone, for the start after this one.
            TraceLog(kStackTracePath, "Changes of an earlier run left to undo in %s\n",
                     run.runtimeFolder.c_str());
            RewriteJournal(run.runtimeFolder, JournalOfWhatIsLeft(run.entries, left));
            continue;
        }
        DeleteFolderTree(WithoutTrailingSeparators(run.runtimeFolder));
    }
}
