// The program behind the shell: the server stack of one run, its runner thread and the browser.
#pragma once

#include <memory>

#include "app/browser_handover.h"
#include "app/server_runner.h"
#include "app/shell.h"
#include "stack/stack_state.h"

// Starts the server runner when start-up ends and stops the stack on a close request.
class StackProgram : public ShellProgram {
public:
    StackProgram();
    ~StackProgram() override;
    StackProgram(const StackProgram&) = delete;
    StackProgram& operator=(const StackProgram&) = delete;

    void Start(ShellServices& shell, AppSettings& settings) override;
    void Stop() override;

private:
    ShellServices* shell_ = nullptr;
    AppSettings* settings_ = nullptr;
    std::unique_ptr<StackState> state_;
    StarterHandover browser_;
    std::unique_ptr<CServerRunner> runner_;
};
