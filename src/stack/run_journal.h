// The run's journal: every change a run makes to the machine outside its runtime folder is
// written down in the runtime folder, through to the disk, before it is made. A run that ends
// cleanly deletes its journal; a journal that is still there names a run that was killed (a
// power cut, the task manager), and the next start of the same stack undoes what it lists.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One line of the journal: its kind and its fields.
struct JournalEntry {
    std::string kind;
    std::vector<std::string> fields;
};

// The kinds of entries and their fields.
namespace journal {
// The first entry: the launcher's process id, its executable path as the process list shows it,
// the stack's folder and the launcher's start time.
constexpr char kRun[] = "run";
// The hosts file that gets the entry, the host name and the address of its block (older
// journals name no address).
constexpr char kHosts[] = "hosts";
// An additional file about to be expanded in place, and the backup that keeps its original
// (older journals name no backup: it is then the file + ".bak").
constexpr char kFile[] = "file";
// A database mirror folder about to be filled with a copy of the stack's database, and "1" when
// the run deletes it at its end.
constexpr char kMirror[] = "mirror";
// A started server: its process id, the program it runs and its start time.
constexpr char kServer[] = "server";
// A proxy setting about to get the host as an exception: its name, "1" when it was set, its
// value before, the host, and (newer journals) its type and bytes (ProxyJournalFields).
constexpr char kProxy[] = "proxy";
// A browser's profile list whose copy was saved, written by launchers of older versions: the
// list, then the copy. Nothing is put back from it any more: the user may have changed the list
// since.
constexpr char kProfileList[] = "profile-list";
// A private browser profile about to be made: its folder, exactly. (Older versions wrote the
// folder of profiles and a name pattern; such entries are passed by: a pattern may name a profile
// of the user's.)
constexpr char kProfiles[] = "profiles";
// A folder that a browser may make beside its profile and that did not exist before: its path,
// then "whole" (it goes with everything in it) or "empty" (it goes only while empty).
constexpr char kMadeFolder[] = "made-folder";
}  // namespace journal

// Whether an entry tells of a browser starter's change (proxy exceptions, profiles).
bool IsBrowserEntry(const JournalEntry& entry);

// The journal's path in a runtime folder (with or without a trailing separator).
std::string JournalPath(const std::string& runtimeFolder);

// Appends one entry and flushes it to the disk; false when it could not be written (the change
// is then made all the same: a run goes on as far as it can).
bool RecordInJournal(const std::string& runtimeFolder, const std::string& kind,
                     const std::vector<std::string>& fields);

// Every entry of a journal in the order written; empty when there is none. A last line that a
// crash cut short is left out.
std::vector<JournalEntry> ReadJournal(const std::string& runtimeFolder);

// A run that has undone its changes deletes its journal.
void CloseJournal(const std::string& runtimeFolder);

// A run that could not undo all its changes keeps only what is left to undo: the journal then
// holds `entries` alone, replaced in one step so that a crash meanwhile leaves one journal or the
// other. False when it could not be written (the old journal then stays as it was).
bool RewriteJournal(const std::string& runtimeFolder, const std::vector<JournalEntry>& entries);

// One line of the journal for an entry, and back: fields are separated by tabs; a backslash,
// tab, carriage return or line feed inside a field is escaped with a backslash.
std::string JournalLine(const std::string& kind, const std::vector<std::string>& fields);
bool ParseJournalLine(const std::string& line, JournalEntry& entry);
