#include "sys/error_text.h"

#include "sys/trace.h"

void TraceSystemError(const std::string& what, unsigned long code) {
    std::string text = SystemErrorText(code);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    TraceLog(kTraceLogPath, "%s failed: system error %lu (%s)\n", what.c_str(), code, text.c_str());
}
