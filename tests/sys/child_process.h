// Starts a program for a test and makes sure it is gone when the test is done.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

class ChildProcess {
public:
    ChildProcess() = default;
    // Terminates the program if it still runs, and collects it.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `program` with `args` (no shell); false when it could not be started.
    bool Start(const std::string& program, const std::vector<std::string>& args);

    std::uint32_t Id() const { return id_; }

    // Waits until the program has ended (on Linux it stays a zombie until the destructor);
    // false when it still ran after `ms` milliseconds.
    bool WaitForEnd(unsigned long ms);

private:
    std::uint32_t id_ = 0;
    void* process_ = nullptr;  // Windows: the process handle
    int processFd_ = -1;       // Linux: a process descriptor, readable once it has ended
};

}  // namespace testsupport
