#include "app/stack_program.h"

#include "stack/stop_sequence.h"

StackProgram::StackProgram() = default;

StackProgram::~StackProgram() = default;

void StackProgram::Start(ShellServices& shell, AppSettings& settings) {
    shell_ = &shell;
    settings_ = &settings;
    state_ = std::make_unique<StackState>(StackPlaces::ForThisProcess(),
                                          StackTimeouts::ForThisProcess());
    // Recorded before the thread runs, so that a close request arriving before the runner's
    // first step still finds a run to stop (and the runner then starts nothing).
    state_->MarkRunnerStarted();
    runner_ = std::make_unique<CServerRunner>(*state_, settings, shell, browser_);
    runner_->Start();
}

void StackProgram::Stop() {
    if (!state_) {
        // A copy that never started a runner (started with -shutdown) has nothing to stop.
        return;
    }
    state_->StopBrowser();
    StopSequence(*state_, *settings_, *shell_, true);
    // The runner's own stop sequence may be the one running: the process must not end under it.
    state_->WaitUntilStopEnded();
    // Once a stop has begun the runner starts nothing more and ends by itself; waiting for it
    // (rather than killing it) lets a start step under way finish cleanly.
    if (runner_) {
        runner_->GetHandle().Wait();
    }
}
