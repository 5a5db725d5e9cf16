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
        SavedSetting setting{name, value != nullptr ? value : "", value != nullptr};
        const std::string changed = NoProxyWithHost(setting.value, setting.present, hostName);
        if (setenv(name, changed.c_str(), 1) == 0) {
            saved.push_back(setting);
        }
    }
    return saved;
}

void RestoreProxyExceptions(const std::vector<SavedSetting>& saved) {
    for (const SavedSetting& setting : saved) {
        if (setting.present) {
            setenv(setting.name.c_str(), setting.value.c_str(), 1);
        } else {
            unsetenv(setting.name.c_str());
        }
    }
}

void RemoveProxyException(const std::string& /*name*/, const std::string& /*hostName*/) {}

}  // namespace Browser
