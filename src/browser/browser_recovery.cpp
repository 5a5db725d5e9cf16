// Undoing the browser starters' changes of a run that was killed.
#include "browser/browser_starter.h"
#include "browser/proxy_exceptions.h"
#include "browser/state_folders.h"
#include "stack/run_journal.h"
#include "sys/files.h"

namespace Browser {

std::vector<JournalEntry> UndoBrowserChanges(const std::vector<JournalEntry>& entries) {
    std::vector<JournalEntry> left;
    // The latest first: a folder made inside another made folder goes before it.
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        const JournalEntry& entry = *it;
        bool undone = true;
        MadeFolder made;
        if (entry.kind == journal::kProxy) {
            SavedSetting saved;
            std::string hostName;
            undone = !SavedSettingFromJournal(entry.fields, saved, hostName) ||
                     RemoveProxyException(saved, hostName);
        } else if (entry.kind == journal::kProfiles && entry.fields.size() == 1 &&
                   !entry.fields[0].empty()) {
            // The run's own profile, by its exact path.
            DeleteFolderTree(entry.fields[0]);
            undone = !PathExists(entry.fields[0]);
        } else if (MadeFolderOf(entry, made)) {
            undone = RemoveMadeFolders({made});
        }
        if (!undone) {
            left.insert(left.begin(), entry);
        }
    }
    return left;
}

}  // namespace Browser
