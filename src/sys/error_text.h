// The operating system's own text for an error code.
#pragma once

#include <string>

// What the system says about `code`: FormatMessageA from the system table in the user's default
// language on Windows (a GetLastError() code, line end included), strerror on Linux (an errno
// value). Empty when the system has no text for it.
std::string SystemErrorText(unsigned long code);

// Writes "<what> failed: system error <code> (<text>)" to the trace, so that the number stays on
// record where the user sees only a box, an empty text or nothing.
void TraceSystemError(const std::string& what, unsigned long code);
