// Linux only: the process list shows an executable by its resolved path.
#include "stack/server_process.h"

#include <climits>
#include <cstdlib>

bool IsSameProgram(const std::string& launchedPath, const std::string& runningPath) {
    char resolved[PATH_MAX];
    if (realpath(launchedPath.c_str(), resolved) == nullptr) {
        return false;
    }
    return runningPath == resolved;
}
