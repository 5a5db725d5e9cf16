// A one-way gate for tests: one thread opens it, others wait until it is open.
#pragma once

#include <condition_variable>
#include <mutex>

namespace testsupport {

class Gate {
public:
    void Open() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            open_ = true;
        }
        changed_.notify_all();
    }
    void WaitOpen() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
};

}  // namespace testsupport
