// The launcher's way into Process: holding a child it has just created, and recording how a
// child ended. Included by the sys layer's launcher and process files alone.
#pragma once

#include <cstdint>
#include <string>

#include "sys/process.h"

// Windows: `handle` is the created process's handle, which the Process then owns. Linux: the
// child's id, taken before anybody could collect the child (only the launcher does).
Process HoldChild(std::uint32_t id, void* handle);

// Linux: the launcher collects every child it starts; this records how it ended (the raw status
// of waitpid).
void RecordChildExit(const Process& child, int waitStatus);

#ifdef _WIN32
// Whether the system has QueryFullProcessImageNameA (Vista and later), which reads the path of
// 64-bit processes from a 32-bit caller, where a walk of the process's modules fails.
bool CanQueryImagePath();
// The executable path of process `id` by that function; empty when it cannot be read.
std::string QueryImagePath(std::uint32_t id);
#endif
