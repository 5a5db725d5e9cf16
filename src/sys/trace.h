// The trace hook. Quiet by default; when the environment variable TRH_TRACE names a file (or is
// "-" for standard error), each message is appended there with a time stamp, so that a user can
// see why a start failed.
#pragma once

#include <string>

// Where the trace messages were once meant to go. TraceLog itself decides (TRH_TRACE); the path is
// passed along unchanged.
constexpr char kTraceLogPath[] = "c:\\trh_log.txt";

// `logPath` is the place the messages were once meant for; TRH_TRACE decides where they go.
void TraceLog(const char* logPath, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
