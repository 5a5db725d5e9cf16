// The proxy exceptions of the machine (Windows) or of this process's environment (Linux), behind
// one pair of calls for the starters' base class.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "browser/browser_starter.h"

namespace Browser {

// What a change of settings that outlive the process is about to change, told before the change.
using BeforeProxyChange = std::function<void(const std::vector<SavedSetting>&)>;

// Adds the host to the proxy exceptions and returns what the changed settings held before;
// empty when nothing could be changed. `beforeChange` hears of a change of the machine's
// settings (Windows) before it is made; this process's environment (Linux) ends with the
// process, and is not told of.
std::vector<SavedSetting> AddProxyException(const std::string& hostName,
                                            const BeforeProxyChange& beforeChange = nullptr);

// Puts the settings back as they were.
void RestoreProxyExceptions(const std::vector<SavedSetting>& saved);

// For a run that was killed: takes the host out of a machine setting that AddProxyException
// changed, if the setting still ends with it, and keeps what was added since. Nothing on Linux.
void RemoveProxyException(const std::string& name, const std::string& hostName);

// A no_proxy list with the host added: the old list, a comma and the host, or the host alone.
std::string NoProxyWithHost(const std::string& oldValue, bool present, const std::string& host);

}  // namespace Browser
