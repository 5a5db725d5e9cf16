// What runs of a stack that were killed left behind, found through their journals and undone at
// the next start, so that a start after a crash behaves like a start after a clean end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "stack/run_journal.h"
#include "stack/server_process.h"
#include "sys/process.h"

// Writes the journal's first entry for this process's run of the stack in `exeFolder`: the
// launcher's id, program and start time.
void RecordRunStart(const std::string& runtimeFolder, const std::string& exeFolder);

// Writes down a started server (its id, program and start time), so that the next start can end
// it should this run be killed and the server outlive it. Nothing for a server not started.
void RecordServer(const std::string& runtimeFolder, const Process& server,
                  const std::string& program);

struct AbandonedRun {
    std::string runtimeFolder;  // with a trailing separator
    std::vector<JournalEntry> entries;
};

// The runtime folders under `tempFolder` whose journal tells of a run of the stack in `exeFolder`
// whose launcher no longer runs. A process with the launcher's id that runs another program, and
// this process itself (its own runtime folder is not made yet), count as gone. Folders without a
// journal (runs that ended cleanly and kept their folder) are no such runs.
std::vector<AbandonedRun> FindAbandonedRuns(const std::string& tempFolder,
                                            const std::string& exeFolder);

// Undoes the stack's changes of a run, the latest first: ends each server that still runs the
// program it was started as, puts the additional files back from their backups, takes the run's
// block out of the hosts file, and deletes the database mirror it was to delete at its end.
// Returns the entries that could not be undone (each is traced), for the journal to keep.
std::vector<JournalEntry> UndoStackChanges(const AbandonedRun& run);

// What a journal keeps of a run that could not undo everything: its first entry and `left`.
std::vector<JournalEntry> JournalOfWhatIsLeft(const std::vector<JournalEntry>& entries,
                                              const std::vector<JournalEntry>& left);
