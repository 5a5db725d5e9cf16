#include "stack/server_process.h"

#include <algorithm>
#include <cctype>

#include "sys/process.h"

bool RecordedProcessRuns(std::uint32_t id, std::uint64_t startTime, const std::string& program) {
    if (id == 0) {
        return false;
    }
    for (const ProcessEntry& entry : ListProcesses()) {
        if (entry.id != id) {
            continue;
        }
        if (startTime != 0 && entry.startTime != 0) {
            return entry.startTime == startTime;
        }
        return startTime != 0 || entry.path.empty() || IsSameProgram(program, entry.path);
    }
    return false;
}

std::uint64_t JournalNumber(const std::string& text) {
    if (text.empty() || text.size() > 19 || !std::all_of(text.begin(), text.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c)) != 0;
        })) {
        return 0;
    }
    return std::stoull(text);
}
