#include "app/server_runner.h"

#include "app/run_recovery.h"
#include "stack/stack_trace.h"
#include "stack/start_sequence.h"
#include "stack/stop_sequence.h"
#include "sys/trace.h"

CServerRunner::CServerRunner(StackState& state, AppSettings& settings, ShellServices& shell,
                             BrowserHandover& browser)
    : state_(state), settings_(settings), shell_(shell), browser_(browser) {}

CServerRunner::~CServerRunner() {
    StopAndWait();
}

void CServerRunner::OnKill() {
    stop_ = 1;
    CThread::OnKill();
}

std::uint32_t CServerRunner::Run() {
    state_.MarkRunnerStarted();
    // A run of this stack that was killed has left changes and maybe servers behind; they go
    // before this run makes anything, so that it starts as after a clean end.
    RecoverAbandonedRuns(state_.places);
    const StartResult started = StartSequence(state_, settings_, shell_);
    if (started == StartResult::kRefused || started == StartResult::kFailed) {
        // The user has read why; what the start made goes again, and the program ends.
        if (!settings_.splashFile.empty()) {
            shell_.CloseSplash();
        }
        StopSequence(state_, settings_, shell_, false);
        return 0;
    }
    if (started != StartResult::kDone) {
        return 0;
    }
    if (!Pause(state_.timeouts.pauseBeforeBrowserMs) || state_.IsStopping()) {
        return 0;
    }
    if (!settings_.splashFile.empty()) {
        shell_.CloseSplash();
    }
    TraceLog(kStackTracePath, "Start Browser\n");
    const bool followed = browser_.OpenSiteAndWait(state_, settings_);
    TraceLog(kStackTracePath, "Browser started\n");
    if (!followed && !state_.IsStopping()) {
        TraceLog(kStackTracePath, "No browser to follow, running until Close\n");
        shell_.ShowRunningUntilClose();
    }

    if (settings_.keepRunningAfterBrowserClose || !followed) {
        // The frame's close path stops the stack; until then the servers stay up.
        while (stop_ == 0 && !CThread::StopRequested() &&
               !state_.WaitUntilStopping(kKeepRunningPassMs)) {
        }
        return 0;
    }
    StopSequence(state_, settings_, shell_, false);
    return 0;
}
