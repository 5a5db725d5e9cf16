// Whether a process id still stands for a server the launcher started: after a server has
// ended, the system may hand its id to any other program.
#pragma once

#include <cstdint>
#include <string>

// Whether a running process's executable path (as the process list reports it) is the program
// at `launchedPath`: the same file after links (Linux) or short names (Windows) are resolved.
bool IsSameProgram(const std::string& launchedPath, const std::string& runningPath);

// The executable path of a running process as the process list reports it; empty when no
// process has that id.
std::string RunningProgramPath(std::uint32_t processId);

// Whether process `id` runs (still) the program at `launchedPath`; false for id 0.
bool ProcessRunsProgram(std::uint32_t id, const std::string& launchedPath);
