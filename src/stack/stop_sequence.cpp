#include "stack/stop_sequence.h"

#include <chrono>
#include <thread>

#include "stack/database_server.h"
#include "stack/db_staging.h"
#include "stack/hosts_file.h"
#include "stack/run_journal.h"
#include "stack/run_recovery.h"
#include "stack/stack_trace.h"
#include "stack/templates.h"
#include "stack/web_server.h"
#include "sys/files.h"
#include "sys/folders.h"
#include "sys/launcher.h"
#include "sys/process.h"
#include "sys/protected_folders.h"
#include "sys/thread.h"
#include "sys/trace.h"

namespace {

bool IsSeparator(char c) {
    return c == kPathSeparator || c == '/';
}

// Deletes a folder of the run unless it is protected (a root, the user's or the system's
// folders, the stack's own); true when it is gone.
bool DeleteFolder(const std::string& folder, const std::string& stackFolder) {
    const std::string path = WithoutTrailingSeparator(folder);
    if (path.empty() || !PathExists(path)) {
        return true;
    }
    if (IsProtectedOnThisMachine(path, stackFolder)) {
        TraceLog(kStackTracePath, "Folder not deleted, it is a protected folder: %s\n",
                 path.c_str());
        return false;
    }
    DeleteFolderTree(path);
    return !PathExists(path);
}

// Waits until every process has ended, at most `limitMs` in all.
void WaitUntilEnded(const std::vector<Process>& processes, unsigned long limitMs) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    for (const Process& process : processes) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || !process.WaitForExit(static_cast<unsigned long>(left))) {
            TraceLog(kStackTracePath, "Process %u did not end in time\n",
                     static_cast<unsigned>(process.id()));
            return;
        }
    }
}

}  // namespace

std::string WithoutTrailingSeparator(const std::string& folder) {
    if (!folder.empty() && IsSeparator(folder.back())) {
        return folder.substr(0, folder.size() - 1);
    }
    return folder;
}

void StopSequence(StackState& state, const AppSettings& settings, StackShell& shell,
                  bool calledFromFrame) {
    // 1. Once per process, and only in the process that started the stack.
    if (!state.BeginStop()) {
        return;
    }
    struct EndOfStop {
        StackState& state;
        ~EndOfStop() { state.EndStop(); }
    } endOfStop{state};
    if (!state.RunnerStarted()) {
        return;
    }
    // From here on the start sequence stores nothing more: the fields are read without the lock.

    // 2. The shutdown dialog.
    const bool dialog = !settings.shutdownMessage.empty();
    const auto position = [&](int percent) {
        if (dialog) {
            shell.SetShutdownProgress(percent);
        }
    };
    if (dialog) {
        shell.ShowShutdownDialog(settings.shutdownMessage);
    }
    position(0);

    // Nothing is undone while a step of the start still writes: a stop that comes during the
    // database staging breaks it off between files and waits for it here.
    state.WaitForStartSteps();

    // 3. The work-offline watcher.
    if (state.workOfflineSearch && state.workOfflineSearch->IsAlive()) {
        state.workOfflineSearch->Kill(0, true);
        state.workOfflineSearch.reset();
    }

    // 4 and 5. The web server, then the database server.
    position(10);
    if (state.webServer) {
        state.webServer->Stop();
    }
    position(20);
    if (state.databaseServer) {
        state.databaseServer->Stop();
    }

    // 6. The shutdown commands; nothing waits for them.
    position(30);
    for (const std::string& command : settings.shutdownCommands) {
        if (!command.empty()) {
            ProcessLauncher launcher;
            launcher.Launch(command, "", LaunchWait::None, false, WindowSearch::Direct);
        }
    }

    // What this run has to undo; whatever cannot be undone stays written down for the next start.
    const std::vector<JournalEntry> journal = state.runtimeFolder.empty()
                                                  ? std::vector<JournalEntry>()
                                                  : ReadJournal(state.runtimeFolder);
    std::vector<JournalEntry> left;

    // 7. The additional files, back from their backups.
    for (const ExpandedFile& expanded : state.expandedFiles) {
        if (!RestoreAdditionalFile(expanded)) {
            left.push_back({journal::kFile, {expanded.file, expanded.backup}});
        }
    }

    // What was just ended lets go of its files (Windows frees them with the process), at most
    // for the stop's pause.
    position(40);
    std::vector<Process> ended;
    for (const std::vector<Process>* some :
         {state.webServer ? &state.webServer->Ended() : nullptr,
          state.databaseServer ? &state.databaseServer->Ended() : nullptr}) {
        if (some != nullptr) {
            ended.insert(ended.end(), some->begin(), some->end());
        }
    }
    WaitUntilEnded(ended, state.places.stopPauseMs);
    for (int percent = 50; percent <= 80; percent += 10) {
        position(percent);
    }

    // 9. The run's own block in the hosts file, when the start could add it.
    if (!state.hostsEntryName.empty() &&
        RemoveHostsEntry(state.hostsEntryName, state.hostsEntryAddress, state.places.hostsPath) ==
            HostsRemoval::kFailed) {
        TraceLog(kStackTracePath, "Hosts entry for %s not removed from %s\n",
                 state.hostsEntryName.c_str(), state.places.hostsPath.c_str());
        left.push_back({journal::kHosts,
                        {state.places.hostsPath, state.hostsEntryName, state.hostsEntryAddress}});
    }

    // The browser's changes (proxy exceptions, profile list); on the close path they went back
    // already, and the answer is that of that first time.
    if (!state.StopBrowser()) {
        TraceLog(kStackTracePath, "Browser settings not all put back\n");
        for (const JournalEntry& entry : journal) {
            if (IsBrowserEntry(entry)) {
                left.push_back(entry);
            }
        }
    }

    // The decrypted database goes at every stop, whatever deleteHttpTemp says: it is unpacked
    // afresh at every start.
    if (!state.runtimeFolder.empty() &&
        !DeleteFolder(UnpackFolderName(state.runtimeFolder), state.appFolder)) {
        TraceLog(kStackTracePath, "Decrypted database not deleted\n");
    }

    // 12. The database mirror, when this run copied the database there and is to delete it
    // (deleteDatabaseFiles with a configured mirror folder, as the journal says).
    for (const JournalEntry& entry : journal) {
        if (entry.kind == journal::kMirror && !DeleteRecordedMirrors({entry}, state.appFolder)) {
            left.push_back(entry);
        }
    }

    // Everything this run changed is put back: nothing is left for the next start to undo.
    // Otherwise the journal keeps what is left, and the runtime folder that holds it stays.
    bool keepRuntime = false;
    if (!state.runtimeFolder.empty()) {
        if (left.empty()) {
            CloseJournal(state.runtimeFolder);
        } else {
            TraceLog(kStackTracePath, "Changes left for the next start to undo in %s\n",
                     state.runtimeFolder.c_str());
            RewriteJournal(state.runtimeFolder, JournalOfWhatIsLeft(journal, left));
            keepRuntime = true;
        }
    }

    // 10 and 11. The runtime folder.
    if (settings.deleteHttpTemp && !keepRuntime) {
        DeleteFolder(state.runtimeFolder, state.appFolder);
    }
    position(90);

    // 13. The medium.
    if (state.mediaHandle) {
        UnlockMedia(state.mediaHandle.get());
    }
    position(100);

    // 15. The frame, when the runner is the caller.
    if (!calledFromFrame) {
        shell.CloseMainFrame();
    }
}
