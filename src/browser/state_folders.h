// Folders that a browser makes in the user's own folders beside its profile (crash reports,
// pending pings, a downloads folder): each that does not exist before the run is written down
// in the run's journal before the browser starts, and goes again at the stop, so that the user's
// folders hold afterwards what they held before.
#pragma once

#include <string>
#include <vector>

struct JournalEntry;

namespace Browser {

// A folder a browser may make: `part` below `base`. `base` is a folder of the user's that a
// browser may make too (~/.config); `part` is the browser's own ("mozilla/firefox/Crash
// Reports"), with '/' between its folders. A folder the user may keep things in (Downloads) goes
// only while it is empty.
struct StateFolder {
    std::string base;
    std::string part;
    bool onlyIfEmpty = false;
};

// A folder that did not exist before the run, and how it goes at the stop.
struct MadeFolder {
    std::string path;
    bool whole = false;  // with everything in it; otherwise only while empty
};

// The folders along the candidates that do not exist now, shallow before deep: each missing
// folder of a base (it goes only while empty: other programs may have put things there), then
// the first missing folder of the part (it goes whole, unless the candidate goes only while
// empty). Candidates that share folders give them once.
std::vector<MadeFolder> MissingFolders(const std::vector<StateFolder>& candidates);

// Writes the missing folders into the run's journal, before the browser can make them; returns
// them.
std::vector<MadeFolder> RecordMissingFolders(const std::string& runtimeFolder,
                                             const std::vector<StateFolder>& candidates);

// Takes the folders away again, deepest first; false when one that must go could not.
bool RemoveMadeFolders(const std::vector<MadeFolder>& folders);

// The journal entry of a made folder, and back (for the recovery of a killed run).
bool MadeFolderOf(const JournalEntry& entry, MadeFolder& folder);

}  // namespace Browser
