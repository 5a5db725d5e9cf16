// Linux only: no_proxy and NO_PROXY of this process's environment; the browser inherits them.
#include "browser/proxy_exceptions.h"

#include <cstdlib>

namespace Browser {

std::vector<SavedSetting> AddProxyException(const std::string& hostName,
                                            const BeforeProxyChange& /*beforeChange*/) {
    std::vector<SavedSetting> saved;
    // Programs differ in which spelling they read; each keeps its own list.
    for (const char* name : {"no_proxy", "NO_PROXY"}) {
        const char* value = std::getenv(name);
        SavedSetting setting;
        setting.name = name;
        setting.value = value != nullptr ? value : "";
        setting.present = value != nullptr;
        const std::string changed = NoProxyWithHost(setting.value, setting.present, hostName);
        if (setenv(name, changed.c_str(), 1) == 0) {
            saved.push_back(setting);
        }
    }
    return saved;
}

// Only this process changes its own environment: the saved lists go back whole.
bool RestoreProxyExceptions(const std::vector<SavedSetting>& saved,
                            const std::string& /*hostName*/) {
    bool restored = true;
    for (const SavedSetting& setting : saved) {
        const int result = setting.present ? setenv(setting.name.c_str(), setting.value.c_str(), 1)
                                           : unsetenv(setting.name.c_str());
        restored = restored && result == 0;
    }
    return restored;
}

bool RemoveProxyException(const SavedSetting& /*saved*/, const std::string& /*hostName*/) {
    return true;
}

}  // namespace Browser
