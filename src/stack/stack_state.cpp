#include "stack/stack_state.h"

#include <chrono>

#include "stack/database_server.h"
#include "stack/hosts_file.h"
#include "stack/web_server.h"
#include "sys/files.h"
#include "sys/folders.h"
#include "sys/os_version.h"
#include "sys/thread.h"

StackPlaces StackPlaces::ForThisProcess() {
    StackPlaces places;
    places.exeFolder = GetModuleFolder();
    places.tempFolder = GetTempFolder();
    places.hostsPath = SystemHostsFilePath();
    return places;
}

StackTimeouts StackTimeouts::ForThisProcess() {
    StackTimeouts timeouts;
    // The Windows 95 family gives up on a silent web server sooner.
    timeouts.readinessTimeoutMs = ZUL::CSystemVersion::Is9xFamily() ? 45000 : 90000;
    return timeouts;
}

StackState::StackState(StackPlaces placesToUse, StackTimeouts timeoutsToUse)
    : places(std::move(placesToUse)), timeouts(timeoutsToUse) {}

StackState::~StackState() = default;

bool StackState::Publish(const std::function<void()>& store) {
    std::lock_guard<std::mutex> guard(lock_);
    if (stopping_) {
        return false;
    }
    store();
    return true;
}

bool StackState::RunStartStep(const std::function<void()>& step) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (stopping_) {
            return false;
        }
        ++startSteps_;
    }
    struct EndOfStep {
        StackState& state;
        ~EndOfStep() {
            {
                std::lock_guard<std::mutex> guard(state.lock_);
                --state.startSteps_;
            }
            state.startStepEnded_.notify_all();
        }
    } endOfStep{*this};
    step();
    return true;
}

void StackState::WaitForStartSteps() {
    std::unique_lock<std::mutex> guard(lock_);
    startStepEnded_.wait(guard, [this] { return startSteps_ == 0; });
}

bool StackState::SetBrowserStop(std::function<bool()> stop) {
    std::lock_guard<std::mutex> guard(lock_);
    if (stopping_ || browserStopRequested_) {
        return false;
    }
    stopBrowser_ = std::move(stop);
    return true;
}

bool StackState::StopBrowser() {
    std::function<bool()> stop;
    {
        std::lock_guard<std::mutex> guard(lock_);
        browserStopRequested_ = true;
        // Once: the stop sequence and the frame's close path both ask.
        stop = std::move(stopBrowser_);
        stopBrowser_ = nullptr;
    }
    const bool undone = !stop || stop();
    std::lock_guard<std::mutex> guard(lock_);
    browserUndoFailed_ = browserUndoFailed_ || !undone;
    return !browserUndoFailed_;
}

bool StackState::BeginStop() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (stopping_) {
            return false;
        }
        stopping_ = true;
        stopRunning_ = true;
    }
    stopEnded_.notify_all();
    return true;
}

void StackState::EndStop() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopRunning_ = false;
    }
    stopEnded_.notify_all();
}

bool StackState::WaitUntilStopping(unsigned long ms) {
    std::unique_lock<std::mutex> guard(lock_);
    return stopEnded_.wait_for(guard, std::chrono::milliseconds(ms), [this] { return stopping_; });
}

void StackState::WaitUntilStopEnded() {
    std::unique_lock<std::mutex> guard(lock_);
    stopEnded_.wait(guard, [this] { return !stopRunning_; });
}

bool StackState::IsStopping() {
    std::lock_guard<std::mutex> guard(lock_);
    return stopping_;
}
