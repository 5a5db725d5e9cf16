#include "stack/stop_sequence.h"

#include <chrono>
#include <optional>
#include <thread>

#include "stack/database_server.h"
#include "stack/hosts_file.h"
#include "stack/run_journal.h"
#include "stack/start_sequence.h"
#include "stack/templates.h"
#include "stack/web_server.h"
#include "sys/files.h"
#include "sys/folders.h"
#include "sys/launcher.h"
#include "sys/pure_socket.h"
#include "sys/thread.h"

namespace {

bool IsSeparator(char c) {
    return c == kPathSeparator || c == '/';
}

// A folder that must never be deleted as a whole: nothing, a drive or the root.
bool IsRootOrNothing(const std::string& folder) {
    return folder.empty() || (folder.size() == 2 && folder[1] == ':');
}

void DeleteFolder(const std::string& folder) {
    const std::string path = WithoutTrailingSeparator(folder);
    if (!IsRootOrNothing(path) && PathExists(path)) {
        DeleteFolderTree(path);
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

    // 7. The additional files, back from their backups.
    if (!state.appFolder.empty()) {
        RestoreAdditionalFiles(settings, state.appFolder);
    }

    // 8. Four seconds for what was just ended to let go of its files, dialog or not.
    position(40);
    for (int percent = 50; percent <= 80; percent += 10) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        position(percent);
    }

    // 9. The hosts file, when the start could add the entry (the host name is then still the
    // configured one).
    std::optional<WinsockGuard> sockets;
    StartSockets(sockets);
    if (!state.runtimeFolder.empty() && !IsLocalHostName(settings.hostName, GetLocalIpAddress(0))) {
        RestoreHostsFile(state.runtimeFolder, state.places.hostsPath);
    }

    // The browser's changes (proxy exceptions, profile list) go back before the run's journal
    // goes; on the close path they went back already, and a second time changes nothing.
    state.StopBrowser();
    // Everything this run changed is put back: nothing is left for the next start to undo.
    if (!state.runtimeFolder.empty()) {
        CloseJournal(state.runtimeFolder);
    }

    // 10 to 12. The runtime folder and the configured mirror folder. Only a trailing separator
    // is cut from the mirror setting: a name without one names the folder itself.
    if (settings.deleteHttpTemp) {
        DeleteFolder(state.runtimeFolder);
    }
    position(90);
    if (settings.deleteDatabaseFiles) {
        DeleteFolder(settings.mirrorFolder);
    }

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
