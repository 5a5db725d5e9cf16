// Windows only: paths compare without regard to case, short and long names alike.
#include "stack/server_process.h"

#include "sys/files.h"

bool IsSameProgram(const std::string& launchedPath, const std::string& runningPath) {
    return SamePath(launchedPath, runningPath);
}
