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

void StackState::StopBrowser() {
    std::function<void()> stop;
    {
        std::lock_guard<std::mutex> guard(lock_);
        stop = stopBrowser;
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
    return true;
}

bool StackState::IsStopping() {
    std::lock_guard<std::mutex> guard(lock_);
    return stopping_;
}
