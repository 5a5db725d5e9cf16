// Linux only: the process environment.
#include <cstdlib>

#include "sys/trace.h"

std::string GetEnvironmentText(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}
