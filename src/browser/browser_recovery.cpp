// Undoing the browser starters' changes of a run that was killed.
#include "browser/browser_starter.h"
#include "browser/proxy_exceptions.h"
#include "browser/starters.h"
#include "stack/run_journal.h"
#include "sys/files.h"

namespace Browser {

std::vector<JournalEntry> UndoBrowserChanges(const std::vector<JournalEntry>& entries) {
    std::vector<JournalEntry> left;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        const JournalEntry& entry = *it;
        bool undone = true;
        if (entry.kind == journal::kProxy) {
            SavedSetting saved;
            std::string hostName;
            undone = !SavedSettingFromJournal(entry.fields, saved, hostName) ||
                     RemoveProxyException(saved, hostName);
        } else if (entry.kind == journal::kProfileList && entry.fields.size() >= 2) {
            // The copy was saved whole before the entry was written.
            undone = !PathExists(entry.fields[1]) || CopyBytes(entry.fields[1], entry.fields[0]);
        } else if (entry.kind == journal::kProfiles && entry.fields.size() >= 3 &&
                   !entry.fields[1].empty()) {
            DeleteProfileFolders(entry.fields[0], entry.fields[1], entry.fields[2] == "1");
        }
        if (!undone) {
            left.insert(left.begin(), entry);
        }
    }
    return left;
}

}  // namespace Browser
