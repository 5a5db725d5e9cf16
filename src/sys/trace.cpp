#include "sys/trace.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <vector>

#include "sys/environment.h"

namespace {

std::string FormatMessage(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length <= 0) {
        return "";
    }
    std::vector<char> text(static_cast<size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    return std::string(text.data(), static_cast<size_t>(length));
}

std::string TimeStamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char text[32];
    std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &local);
    char result[40];
    std::snprintf(result, sizeof(result), "%s.%03d ", text, static_cast<int>(millis));
    return result;
}

}  // namespace

void TraceLog(const char* /*logPath*/, const char* format, ...) {
    const std::string target = GetEnvironmentValue("TRH_TRACE");
    if (target.empty() || format == nullptr) {
        return;
    }
    va_list args;
    va_start(args, format);
    std::string line = TimeStamp() + FormatMessage(format, args);
    va_end(args);
    if (line.empty() || line.back() != '\n') {
        line += '\n';
    }
    // Several threads trace at once; each line must arrive whole.
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    if (target == "-") {
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
        return;
    }
    if (FILE* file = std::fopen(target.c_str(), "ab")) {
        std::fputs(line.c_str(), file);
        std::fclose(file);
    }
}
