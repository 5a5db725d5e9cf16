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
// The hosts file that gets the entry; its previous content is in the runtime folder.
constexpr char kHosts[] = "hosts";
// An additional file about to be expanded in place; its original is the file + ".bak".
constexpr char kFile[] = "file";
// A started server: its process id, the program it runs and its start time.
constexpr char kServer[] = "server";
// A proxy setting about to get the host as an exception: its name, "1" when it was set, its
// value before, and the host.
constexpr char kProxy[] = "proxy";
// A browser's profile list whose copy was just saved: the list, then the copy.
constexpr char kProfileList[] = "profile-list";
// Private browser profiles about to be made: their folder, the name part and "1" when it is the
// whole name ("0": the end of the name).
constexpr char kProfiles[] = "profiles";
}  // namespace journal

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

// One line of the journal for an entry, and back: fields are separated by tabs; a backslash,
// tab, carriage return or line feed inside a field is escaped with a backslash.
std::string JournalLine(const std::string& kind, const std::vector<std::string>& fields);
bool ParseJournalLine(const std::string& line, JournalEntry& entry);
