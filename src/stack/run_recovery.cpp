#include "stack/run_recovery.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "stack/database_server.h"
#include "stack/db_staging.h"
#include "stack/hosts_file.h"
#include "stack/stack_state.h"
#include "stack/stack_trace.h"
#include "stack/templates.h"
#include "sys/files.h"
#include "sys/folders.h"
#include "sys/process.h"
#include "sys/trace.h"

namespace {

const char kFolderPrefix[] = "Trailhost_";

bool AllDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
}

// A process id as the journal writes it; 0 for anything else.
std::uint32_t IdOf(const std::string& text) {
    const std::uint64_t id = JournalNumber(text);
    return id <= 0xFFFFFFFFull ? static_cast<std::uint32_t>(id) : 0;
}

// The start time written after `count` fields (journals of older runs have none: 0).
std::uint64_t StartTimeAfter(const JournalEntry& entry, std::size_t count) {
    return entry.fields.size() > count ? JournalNumber(entry.fields[count]) : 0;
}

// "Trailhost_<pid>" or, where that name was taken, "Trailhost_<pid>_<n>".
bool IsRuntimeFolderName(const std::string& name) {
    const std::size_t prefixLength = sizeof(kFolderPrefix) - 1;
    if (name.compare(0, prefixLength, kFolderPrefix) != 0) {
        return false;
    }
    const std::string rest = name.substr(prefixLength);
    const std::size_t mark = rest.find('_');
    return mark == std::string::npos
               ? AllDigits(rest)
               : AllDigits(rest.substr(0, mark)) && AllDigits(rest.substr(mark + 1));
}

bool LauncherStillRuns(const JournalEntry& run) {
    const std::uint32_t id = IdOf(run.fields[0]);
    return id != Process::CurrentId() &&
           RecordedProcessRuns(id, StartTimeAfter(run, 3), run.fields[1]);
}

void EndServer(const JournalEntry& entry) {
    const std::uint32_t id = IdOf(entry.fields[0]);
    const std::uint64_t startTime = StartTimeAfter(entry, 2);
    // The id may have passed to another program since: only the process it was started as ends.
    if (id == Process::CurrentId() || !RecordedProcessRuns(id, startTime, entry.fields[1])) {
        return;
    }
    const Process server = Process::Open(id, startTime);
    // A server asked to end in order gets the time a database server may need for that; it must
    // not be cut off in the middle of writing its files.
    if (server.AskToEnd() && server.WaitForExit(kDatabaseStopWaitMs)) {
        return;
    }
    TraceLog(kStackTracePath, "Ending server %u left by an earlier run\n",
             static_cast<unsigned>(id));
    server.TerminateTree();
}

}  // namespace

void RecordRunStart(const std::string& runtimeFolder, const std::string& exeFolder) {
    const Process self = Process::Current();
    RecordInJournal(runtimeFolder, journal::kRun,
                    {std::to_string(self.id()), self.ProgramPath(), exeFolder,
                     std::to_string(self.startTime())});
}

void RecordServer(const std::string& runtimeFolder, const Process& server,
                  const std::string& program) {
    if (server.IsValid()) {
        RecordInJournal(runtimeFolder, journal::kServer,
                        {std::to_string(server.id()), program, std::to_string(server.startTime())});
    }
}

std::vector<AbandonedRun> FindAbandonedRuns(const std::string& tempFolder,
                                            const std::string& exeFolder) {
    std::vector<AbandonedRun> runs;
    std::vector<FolderEntry> entries;
    if (!ListFolder(tempFolder, entries)) {
        return runs;
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    for (const FolderEntry& entry : entries) {
        if (entry.kind != FolderEntry::Kind::kFolder || !IsRuntimeFolderName(entry.name)) {
            continue;
        }
        AbandonedRun run;
        run.runtimeFolder = WithTrailingSeparator(tempFolder) + entry.name + kPathSeparator;
        // A journal in a folder that somebody else could write is nobody's word.
        if (ClaimOf(run.runtimeFolder) != FolderClaim::kOurs) {
            continue;
        }
        run.entries = ReadJournal(run.runtimeFolder);
        // A folder whose name was reused by another id is not this run's: the journal says whose.
        if (run.entries.empty() || run.entries[0].kind != journal::kRun ||
            run.entries[0].fields.size() < 3 || !SamePath(run.entries[0].fields[2], exeFolder) ||
            LauncherStillRuns(run.entries[0])) {
            continue;
        }
        runs.push_back(std::move(run));
    }
    return runs;
}

std::vector<JournalEntry> UndoStackChanges(const AbandonedRun& run) {
    const std::string stackFolder = run.entries.empty() || run.entries[0].fields.size() < 3
                                        ? std::string()
                                        : run.entries[0].fields[2];
    std::vector<JournalEntry> left;
    for (auto it = run.entries.rbegin(); it != run.entries.rend(); ++it) {
        const JournalEntry& entry = *it;
        bool undone = true;
        if (entry.kind == journal::kServer && entry.fields.size() >= 2) {
            EndServer(entry);
        } else if (entry.kind == journal::kFile && !entry.fields.empty()) {
            const std::string& file = entry.fields[0];
            undone = RestoreAdditionalFile(
                {file, entry.fields.size() >= 2 ? entry.fields[1] : file + ".bak"});
        } else if (entry.kind == journal::kHosts && entry.fields.size() >= 2) {
            const HostsRemoval removal = RemoveHostsEntry(
                entry.fields[1], entry.fields.size() >= 3 ? entry.fields[2] : "", entry.fields[0]);
            if (removal == HostsRemoval::kRemoved) {
                TraceLog(kStackTracePath, "Removed the hosts entry of an earlier run\n");
            }
            undone = removal != HostsRemoval::kFailed;
            if (!undone) {
                TraceLog(kStackTracePath, "Hosts entry for %s not removed from %s\n",
                         entry.fields[1].c_str(), entry.fields[0].c_str());
            }
        } else if (entry.kind == journal::kMirror) {
            undone = DeleteRecordedMirrors({entry}, stackFolder);
        }
        if (!undone) {
            left.insert(left.begin(), entry);
        }
    }
    return left;
}

std::vector<JournalEntry> JournalOfWhatIsLeft(const std::vector<JournalEntry>& entries,
                                              const std::vector<JournalEntry>& left) {
    std::vector<JournalEntry> kept;
    if (!entries.empty() && entries[0].kind == journal::kRun) {
        kept.push_back(entries[0]);
    }
    kept.insert(kept.end(), left.begin(), left.end());
    return kept;
}
