// Undoing the browser starters' changes of a run that was killed.
#include "browser/browser_starter.h"
#include "browser/proxy_exceptions.h"
#include "browser/state_folders.h"
#include "stack/run_journal.h"
#include "sys/files.h"

namespace Browser {

void UndoBrowserChanges(const std::vector<JournalEntry>& entries) {
    std::vector<MadeFolder> madeFolders;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        const JournalEntry& entry = *it;
        MadeFolder made;
        if (entry.kind == journal::kProxy && entry.fields.size() >= 4) {
            RemoveProxyException(entry.fields[0], entry.fields[3]);
        } else if (entry.kind == journal::kProfiles && entry.fields.size() == 1 &&
                   !entry.fields[0].empty()) {
            // The run's own profile, by its exact path.
            DeleteFolderTree(entry.fields[0]);
        } else if (MadeFolderOf(entry, made)) {
            madeFolders.insert(madeFolders.begin(), made);
        }
    }
    RemoveMadeFolders(madeFolders);
}

}  // namespace Browser
