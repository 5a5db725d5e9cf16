// A private copy of the idle_process helper under a name that no other process on the machine
// has, so that a test that kills by name can only ever hit its own processes.
#pragma once

#include "child_process.h"
#include "sys/process.h"
#include "test_support.h"

#include <filesystem>
#include <string>

namespace testsupport {

class IdleHelper {
public:
    // `program`: the idle_process build to copy (the 64-bit one, on Windows, for tests that
    // look at a 64-bit program).
    explicit IdleHelper(const std::string& program = HelperPath("idle_process")) {
        static int counter = 0;
        name_ = "trh_idle_" + std::to_string(Process::CurrentId()) + "_" +
                std::to_string(++counter) + kExe;
        path_ = dir_ / name_;
        std::filesystem::copy_file(program, path_);
    }

    // The executable name as the process lists show it.
    const std::string& Name() const { return name_; }
    const std::string& Path() const { return path_; }

    // Starts one instance that idles for `ms` milliseconds (0: until killed) and waits until it
    // runs under its name.
    bool Start(ChildProcess& child, unsigned long ms = 0) {
        const std::string ready = dir_ / ("ready" + std::to_string(++started_));
        if (!child.Start(path_, {ready, std::to_string(ms)})) {
            return false;
        }
        return Eventually([&] { return std::filesystem::exists(ready) || child.WaitForEnd(0); }) &&
               std::filesystem::exists(ready);
    }

private:
    TempDir dir_;
    std::string name_;
    std::string path_;
    int started_ = 0;
};

}  // namespace testsupport
