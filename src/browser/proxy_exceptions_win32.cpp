// Windows only: the ProxyOverride value of the user's Internet settings.
#include "browser/proxy_exceptions.h"

#include "sys/registry.h"

namespace Browser {

namespace {

const char kInternetSettings[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const char kProxyOverride[] = "ProxyOverride";

bool IsText(unsigned long type) {
    return type == kRegistryText || type == kRegistryExpandableText;
}

// The text of a text value, up to its terminating zero; empty for a value of another type.
std::string TextOf(const RegistryValue& value) {
    return IsText(value.type) ? std::string(value.bytes.c_str()) : std::string();
}

// What AddProxyException writes for a value that held `text`.
std::string WithHost(const std::string& text, const std::string& hostName) {
    return text + " " + hostName;
}

// The text without the last " host" that stands as an entry of its own (followed by the end, a
// blank or a semicolon); npos in `at` when there is none.
std::string WithoutHost(const std::string& text, const std::string& hostName, size_t& at) {
    const std::string added = " " + hostName;
    for (at = text.rfind(added); at != std::string::npos;
         at = at == 0 ? std::string::npos : text.rfind(added, at - 1)) {
        const size_t end = at + added.size();
        if (end == text.size() || text[end] == ' ' || text[end] == ';') {
            return text.substr(0, at) + text.substr(end);
        }
    }
    return text;
}

}  // namespace

std::vector<SavedSetting> AddProxyException(const std::string& hostName,
                                            const BeforeProxyChange& beforeChange) {
    CXRegistry key(RegistryRoot::CurrentUser, kInternetSettings, true);
    if (!key.IsOpen()) {
        return {};
    }
    SavedSetting saved;
    saved.name = kProxyOverride;
    RegistryValue before;
    saved.present = key.QueryValue(kProxyOverride, before);
    if (saved.present) {
        saved.type = before.type;
        saved.bytes = before.bytes;
        saved.value = TextOf(before);
    }
    if (beforeChange) {
        beforeChange({saved});
    }
    // One blank as separator, also in front of the host when there was no value before. A text
    // value keeps its type; one of another type holds no list the browser reads, and is
    // replaced by plain text for the run.
    const RegistryValue changed{saved.present && IsText(saved.type) ? saved.type : kRegistryText,
                                WithHost(saved.value, hostName) + '\0'};
    if (!key.SetValue(kProxyOverride, changed)) {
        return {};
    }
    return {saved};
}

bool RestoreProxyExceptions(const std::vector<SavedSetting>& saved, const std::string& hostName) {
    bool restored = true;
    for (const SavedSetting& setting : saved) {
        restored = RemoveProxyException(setting, hostName) && restored;
    }
    return restored;
}

bool RemoveProxyException(const SavedSetting& saved, const std::string& hostName) {
    CXRegistry key(RegistryRoot::CurrentUser, kInternetSettings, true);
    if (!key.IsOpen()) {
        return false;
    }
    RegistryValue now;
    if (!key.QueryValue(saved.name.c_str(), now) || !IsText(now.type)) {
        return true;
    }
    const std::string text = TextOf(now);
    if (text == WithHost(saved.value, hostName)) {
        // Nobody changed it since: back to what it was. A value that was not there stays behind
        // empty, which means no exceptions.
        const RegistryValue before = saved.present
                                         ? RegistryValue{saved.type, saved.bytes}
                                         : RegistryValue{kRegistryText, std::string(1, '\0')};
        return key.SetValue(saved.name.c_str(), before);
    }
    size_t at = 0;
    const std::string rest = WithoutHost(text, hostName, at);
    return at == std::string::npos || key.SetValue(saved.name.c_str(), {now.type, rest + '\0'});
}

}  // namespace Browser
