// The process-end watcher: a worker thread that ends once a given process has ended.
#pragma once

#include "sys/thread.h"

#include <atomic>
#include <cstdint>

// Looks for the process id in the process list every 500 ms and returns once a walk does not
// find it; its owner waits on GetHandle() instead of on the process, of which it holds no handle.
// Only the id is compared: a new process that receives the same id keeps the watcher waiting.
// When the process list cannot be walked at all, the process counts as ended.
class CWaitProcessEnd : public CThread {
public:
    explicit CWaitProcessEnd(std::uint32_t processId);
    ~CWaitProcessEnd() override;

    // The time between two walks.
    static constexpr unsigned long kPollMs = 500;

protected:
    std::uint32_t Run() override;
    void OnKill() override;

private:
    static int OnProcess(std::uint32_t id, const char* name, void* user);

    // 1 when the last walk did not find the process or a stop was requested; 0 while it is
    // known to exist.
    std::atomic<std::uint32_t> notSeen_{0};
    std::uint32_t processId_;
};
