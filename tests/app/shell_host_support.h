// The whole shell in running copies of a program (shell_host) whose server stack is a stand-in
// that logs what the shell asks of it: the copies' folders, their start and the events they log.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "shell_test_support.h"

namespace shelltest {

using testsupport::ChildProcess;

class ShellHostTest : public ::testing::Test {
protected:
    // A copy's own folder, holding its hub_config.ini (and later its log).
    std::string Folder(const std::string& name, const std::string& ini) {
        const std::string folder =
            dir_ / name + static_cast<char>(std::filesystem::path::preferred_separator);
        std::filesystem::create_directories(folder);
        testsupport::WriteFile(folder + "hub_config.ini", "[General]\r\n" + ini);
        return folder;
    }

    // Starts a copy with the configuration of `folder` and the further arguments.
    static std::unique_ptr<ChildProcess> Start(const std::string& folder,
                                               std::vector<std::string> args = {}) {
        auto copy = std::make_unique<ChildProcess>();
        args.insert(args.begin(), "-config:" + folder + "hub_config.ini");
        return copy->Start(testsupport::HelperPath("shell_host"), args) ? std::move(copy) : nullptr;
    }

    static auto Starts(const std::string& prefix) {
        return [&prefix](const std::string& e) { return e.compare(0, prefix.size(), prefix) == 0; };
    }

    // The events the copy logged, in order, without the process id.
    static std::vector<std::string> Events(const std::string& folder) {
        std::istringstream log(testsupport::TextOf(folder + "log.txt"));
        std::vector<std::string> events;
        for (std::string line; std::getline(log, line);) {
            events.push_back(line.substr(line.find(' ') + 1));
        }
        return events;
    }

    static int Count(const std::string& folder, const std::string& prefix) {
        const std::vector<std::string> events = Events(folder);
        return static_cast<int>(std::count_if(events.begin(), events.end(), Starts(prefix)));
    }

    static bool WaitForEvent(const std::string& folder, const std::string& prefix) {
        return testsupport::Eventually([&] { return Count(folder, prefix) > 0; });
    }

    // Where the first event with `prefix` stands in the log; its length when none has.
    static size_t Position(const std::string& folder, const std::string& prefix) {
        const std::vector<std::string> events = Events(folder);
        return std::find_if(events.begin(), events.end(), Starts(prefix)) - events.begin();
    }

    static void Cue(const std::string& folder, const std::string& name) {
        testsupport::WriteFile(folder + name, "");
    }

    // A copy that is running: its runner has handed over to the "browser".
    std::unique_ptr<ChildProcess> StartRunning(const std::string& folder) {
        auto copy = Start(folder);
        return copy != nullptr && WaitForEvent(folder, "browser open") ? std::move(copy) : nullptr;
    }

    testsupport::TempDir dir_;
};

}  // namespace shelltest
