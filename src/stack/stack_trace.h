// Where the start and stop sequences' trace messages go: the one trace of the program.
#pragma once

#include "sys/trace.h"

constexpr const char* kStackTracePath = kTraceLogPath;
