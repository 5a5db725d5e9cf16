#include "stack/server_process.h"

#include "sys/process_list.h"

std::string RunningProgramPath(std::uint32_t processId) {
    CProcessInfo processes;
    char path[kProcessTextSize] = {};
    if (processId == 0 || !processes.Init(true) ||
        !processes.FindProcessById(nullptr, path, processId)) {
        return std::string();
    }
    return path;
}

bool ProcessRunsProgram(std::uint32_t id, const std::string& launchedPath) {
    const std::string running = RunningProgramPath(id);
    return !running.empty() && IsSameProgram(launchedPath, running);
}
