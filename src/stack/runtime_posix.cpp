// Linux only: the process id and the environment.
#include <unistd.h>

#include <cstdlib>

#include "stack/runtime.h"
#include "sys/folders.h"

std::string RuntimeFolderForThisProcess() {
    return RuntimeFolderName(GetTempFolder(), static_cast<unsigned long>(getpid()));
}

std::string GetEnvironmentValue(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value != nullptr ? value : "";
}

bool SetEnvironmentValue(const std::string& name, const std::string& value) {
    return setenv(name.c_str(), value.c_str(), 1) == 0;
}
