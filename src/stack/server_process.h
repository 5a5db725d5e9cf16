// Whether a process that a run's journal names still runs: after it has ended, the system may
// hand its id to any other program.
#pragma once

#include <cstdint>
#include <string>

// Whether a running process's executable path (as the process table reports it) is the program
// at `launchedPath`: the same file after links (Linux) or short names (Windows) are resolved.
bool IsSameProgram(const std::string& launchedPath, const std::string& runningPath);

// Whether the process written down as `id` with `startTime` still runs. Journals of older runs
// have no start time (0): the program path is compared instead. A process that has the id but
// whose start time or path cannot be read (another user's, an elevated one) counts as running:
// a live run is never taken for a dead one. False for id 0.
bool RecordedProcessRuns(std::uint32_t id, std::uint64_t startTime, const std::string& program);

// A number as the journal writes it (an id, a start time); 0 for anything else.
std::uint64_t JournalNumber(const std::string& text);
