// Where the start and stop sequences' trace messages were once meant to go. TraceLog itself
// decides (TRH_TRACE); the path is passed along unchanged.
#pragma once

constexpr char kStackTracePath[] = "c:\\trh_log.txt";
