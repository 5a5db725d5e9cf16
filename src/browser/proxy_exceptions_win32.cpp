// Windows only: the ProxyOverride value of the user's Internet settings.
#include "browser/proxy_exceptions.h"

#include "sys/registry.h"

namespace Browser {

namespace {

const char kInternetSettings[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const char kProxyOverride[] = "ProxyOverride";

}  // namespace

std::vector<SavedSetting> AddProxyException(const std::string& hostName,
                                            const BeforeProxyChange& beforeChange) {
    CXRegistry key(RegistryRoot::CurrentUser, kInternetSettings, true);
    if (!key.IsOpen()) {
        return {};
    }
    SavedSetting saved{kProxyOverride, "", false};
    saved.present = key.QueryString(kProxyOverride, saved.value);
    if (!saved.present) {
        saved.value.clear();
    }
    if (beforeChange) {
        beforeChange({saved});
    }
    // One blank as separator, also in front of the host when there was no value before.
    const std::string value = saved.value + " " + hostName;
    key.SetString(kProxyOverride, value.c_str());
    return {saved};
}

void RestoreProxyExceptions(const std::vector<SavedSetting>& saved) {
    CXRegistry key(RegistryRoot::CurrentUser, kInternetSettings, true);
    if (!key.IsOpen()) {
        return;
    }
    // A value that was not there before stays behind empty, which means no exceptions.
    for (const SavedSetting& setting : saved) {
        key.SetString(setting.name.c_str(), setting.value.c_str());
    }
}

void RemoveProxyException(const std::string& name, const std::string& hostName) {
    CXRegistry key(RegistryRoot::CurrentUser, kInternetSettings, true);
    std::string value;
    if (!key.IsOpen() || !key.QueryString(name.c_str(), value)) {
        return;
    }
    const std::string added = " " + hostName;
    if (value.size() >= added.size() &&
        value.compare(value.size() - added.size(), added.size(), added) == 0) {
        key.SetString(name.c_str(), value.substr(0, value.size() - added.size()).c_str());
    }
}

}  // namespace Browser
