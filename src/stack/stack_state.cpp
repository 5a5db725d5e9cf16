#include "stack/stack_state.h"

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
    // The Windows 95 family gives up on a silent web server sooner.
    places.readinessTimeoutMs = ZUL::CSystemVersion::Is9xFamily() ? 45000 : 90000;
    return places;
}

StackState::StackState(StackPlaces placesToUse) : places(std::move(placesToUse)) {}

StackState::~StackState() = default;

bool StackState::Publish(const std::function<void()>& store) {
    std::lock_guard<std::mutex> guard(lock_);
    if (stopping_) {
        return false;
    }
    store();
    return true;
}

bool StackState::SetBrowserStop(std::function<void()> stop) {
    std::lock_guard<std::mutex> guard(lock_);
    if (stopping_ || browserStopRequested_) {
        return false;
    }
    stopBrowser_ = std::move(stop);
    return true;
}

void StackState::StopBrowser() {
    std::function<void()> stop;
    {
        std::lock_guard<std::mutex> guard(lock_);
        browserStopRequested_ = true;
        // Once: the stop sequence and the frame's close path both ask.
        stop = std::move(stopBrowser_);
        stopBrowser_ = nullptr;
    }
    if (stop) {
        stop();
    }
}

bool StackState::BeginStop() {
    std::lock_guard<std::mutex> guard(lock_);
    if (stopping_) {
        return false;
    }
    stopping_ = true;
    stopRunning_ = true;
    return true;
}

void StackState::EndStop() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopRunning_ = false;
    }
    stopEnded_.notify_all();
}

void StackState::WaitUntilStopEnded() {
    std::unique_lock<std::mutex> guard(lock_);
    stopEnded_.wait(guard, [this] { return !stopRunning_; });
}

bool StackState::IsStopping() {
    std::lock_guard<std::mutex> guard(lock_);
    return stopping_;
}
