// The program behind the shell: the server stack of one run, its runner thread and the browser.
#pragma once

#include <memory>
#include <string>

#include "app/browser_handover.h"
#include "app/server_runner.h"
#include "app/shell.h"
#include "stack/stack_state.h"

// Starts the server runner when start-up ends and stops the stack on a close request. It is also
// the runner's and the sequences' view of the shell: splash progress and closing, boxes, the
// shutdown dialog and the frame.
class StackProgram : public ShellProgram, public RunnerShell {
public:
    StackProgram();
    ~StackProgram() override;
    StackProgram(const StackProgram&) = delete;
    StackProgram& operator=(const StackProgram&) = delete;

    void Start(ShellServices& shell, AppSettings& settings) override;
    void Stop() override;

    // The runner's and the sequences' view of the shell.
    void PostStartupProgress(int percent) override;
    void ShowMessageBox(const std::string& text, const std::string& caption) override;
    void ShowShutdownDialog(const std::string& message) override;
    void SetShutdownProgress(int position) override;
    void CloseMainFrame() override;
    void CloseSplash() override;
    void ShowRunningUntilClose() override;

private:
    ShellServices* shell_ = nullptr;
    AppSettings* settings_ = nullptr;
    std::unique_ptr<StackState> state_;
    StarterHandover browser_;
    std::unique_ptr<CServerRunner> runner_;
};
