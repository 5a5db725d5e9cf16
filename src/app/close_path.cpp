#include "app/close_path.h"

#include "app/shell.h"

CloseRunner::CloseRunner(ShellProgram& program, std::function<void()> finished)
    : program_(program), finished_(std::move(finished)) {}

CloseRunner::~CloseRunner() {
    Wait();
}

void CloseRunner::Wait() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool CloseRunner::Begin() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (begun_) {
        return false;
    }
    begun_ = true;
    thread_ = std::thread([this] {
        program_.Stop();
        finished_stop_ = true;
        if (finished_) {
            finished_();
        }
    });
    return true;
}

void CloseRunner::RunHere() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (begun_) {
            return;
        }
        begun_ = true;
    }
    program_.Stop();
    finished_stop_ = true;
}
