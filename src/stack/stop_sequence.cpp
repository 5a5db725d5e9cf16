#include "stack/stop_sequence.h"

#include <chrono>
#include <thread>

#include "stack/database_server.h"
#include "stack/db_staging.h"
#include "stack/hosts_file.h"
#include "stack/run_journal.h"
#include "stack/run_recovery.h"
#include "stack/stack_trace.h"
#include "stack/start_sequence.h"
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

// Deletes a folder of the run unless it is protected (a root, the user's or the system's
// folders, the stack's own); true when it is gone.
bool DeleteFolder(const std::string& folder, const std::string& stackFolder) {
    const std::string path = WithoutTrailingSeparators(folder);
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

// One stop, after it has been begun: its phases in their order, each putting back what the start
// made; whatever cannot be put back stays written down in the journal for the next start.
class StopRun {
public:
    StopRun(StackState& state, const AppSettings& settings, ShellServices& shell)
        : state_(state),
          settings_(settings),
          shell_(shell),
          dialog_(!settings.shutdownMessage.empty()) {}

    // The shutdown dialog. Nothing is undone while a step of the start still writes: a stop that
    // comes during the database staging breaks it off between files and waits for it here.
    void ShowDialog() {
        if (dialog_) {
            shell_.ShowShutdownDialog(settings_.shutdownMessage);
        }
        Position(0);
        state_.WaitForStartSteps();
        // From here on the start stores nothing more: the fields are read without the lock.
    }

    // The work-offline watcher, the web server, then the database server; then the shutdown
    // commands, which nothing waits for.
    void StopServers() {
        if (state_.workOfflineSearch && state_.workOfflineSearch->IsAlive()) {
            state_.workOfflineSearch->StopAndWait();
            state_.workOfflineSearch.reset();
        }
        Position(10);
        if (state_.webServer) {
            state_.webServer->Stop();
        }
        Position(20);
        if (state_.databaseServer) {
            state_.databaseServer->Stop();
        }
        Position(30);
        RunCommands(settings_.shutdownCommands);
    }

    // What this run has to undo, as the journal says; the additional files, back from their
    // backups; then what was just ended lets go of its files (Windows frees them with the process),
    // waited for at most for the stop's pause.
    void RestoreFiles() {
        if (!state_.runtimeFolder.empty()) {
            journal_ = ReadJournal(state_.runtimeFolder);
        }
        for (const ExpandedFile& expanded : state_.expandedFiles) {
            if (!RestoreAdditionalFile(expanded)) {
                left_.push_back({journal::kFile, {expanded.file, expanded.backup}});
            }
        }
        Position(40);
        std::vector<Process> ended;
        for (const std::vector<Process>* some :
             {state_.webServer ? &state_.webServer->Ended() : nullptr,
              state_.databaseServer ? &state_.databaseServer->Ended() : nullptr}) {
            if (some != nullptr) {
                ended.insert(ended.end(), some->begin(), some->end());
            }
        }
        WaitUntilEnded(ended, state_.timeouts.stopPauseMs);
        for (int percent = 50; percent <= 80; percent += 10) {
            Position(percent);
        }
    }

    // The run's own block in the hosts file, when the start could add it.
    void RemoveHostsEntry() {
        if (!state_.hostsEntryName.empty() &&
            ::RemoveHostsEntry(state_.hostsEntryName, state_.hostsEntryAddress,
                               state_.places.hostsPath) == HostsRemoval::kFailed) {
            TraceLog(kStackTracePath, "Hosts entry for %s not removed from %s\n",
                     state_.hostsEntryName.c_str(), state_.places.hostsPath.c_str());
            left_.push_back(
                {journal::kHosts,
                 {state_.places.hostsPath, state_.hostsEntryName, state_.hostsEntryAddress}});
        }
    }

    // The browser's changes (proxy exceptions, profile and state folders); on the close path
    // they went back already, and the answer is that of that first time.
    void RestoreBrowserSettings() {
        if (!state_.StopBrowser()) {
            TraceLog(kStackTracePath, "Browser settings not all put back\n");
            for (const JournalEntry& entry : journal_) {
                if (IsBrowserEntry(entry)) {
                    left_.push_back(entry);
                }
            }
        }
    }

    // The decrypted database goes at every stop, whatever deleteHttpTemp says: it is unpacked
    // afresh at every start. So does a database mirror that this run copied and is to delete
    // (deleteDatabaseFiles with a configured mirror folder, as the journal says).
    void DeleteDatabaseCopies() {
        if (!state_.runtimeFolder.empty() &&
            !DeleteFolder(UnpackFolderName(state_.runtimeFolder), state_.appFolder)) {
            TraceLog(kStackTracePath, "Decrypted database not deleted\n");
        }
        for (const JournalEntry& entry : journal_) {
            if (entry.kind == journal::kMirror &&
                !DeleteRecordedMirrors({entry}, state_.appFolder)) {
                left_.push_back(entry);
            }
        }
    }

    // With everything put back the journal is closed and the runtime folder goes (with
    // deleteHttpTemp). Otherwise the journal keeps what is left, and its folder stays.
    void CloseRuntimeFolder() {
        bool keepRuntime = false;
        if (!state_.runtimeFolder.empty()) {
            if (left_.empty()) {
                CloseJournal(state_.runtimeFolder);
            } else {
                TraceLog(kStackTracePath, "Changes left for the next start to undo in %s\n",
                         state_.runtimeFolder.c_str());
                RewriteJournal(state_.runtimeFolder, JournalOfWhatIsLeft(journal_, left_));
                keepRuntime = true;
            }
        }
        if (settings_.deleteHttpTemp && !keepRuntime) {
            DeleteFolder(state_.runtimeFolder, state_.appFolder);
        }
        Position(90);
    }

    void ReleaseMedium() {
        if (state_.media) {
            UnlockMedia(state_.media.get());
        }
        Position(100);
    }

private:
    void Position(int percent) {
        if (dialog_) {
            shell_.SetShutdownProgress(percent);
        }
    }

    StackState& state_;
    const AppSettings& settings_;
    ShellServices& shell_;
    const bool dialog_;
    std::vector<JournalEntry> journal_;  // what this run has to undo
    std::vector<JournalEntry> left_;     // what it could not
};

}  // namespace

bool TakeStackDown(StackState& state, const AppSettings& settings, ShellServices& shell) {
    // Once per process, and only in the process that started the stack.
    if (!state.BeginStop()) {
        return false;
    }
    struct EndOfStop {
        StackState& state;
        ~EndOfStop() { state.EndStop(); }
    } endOfStop{state};
    if (!state.RunnerStarted()) {
        return false;
    }
    StopRun stop(state, settings, shell);
    for (const auto phase :
         {&StopRun::ShowDialog, &StopRun::StopServers, &StopRun::RestoreFiles,
          &StopRun::RemoveHostsEntry, &StopRun::RestoreBrowserSettings,
          &StopRun::DeleteDatabaseCopies, &StopRun::CloseRuntimeFolder, &StopRun::ReleaseMedium}) {
        (stop.*phase)();
    }
    return true;
}

void StopSequence(StackState& state, const AppSettings& settings, ShellServices& shell,
                  bool calledFromFrame) {
    if (TakeStackDown(state, settings, shell) && !calledFromFrame) {
        shell.CloseMainFrame();
    }
}
