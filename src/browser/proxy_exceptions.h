// The proxy exceptions of the machine (Windows) or of this process's environment (Linux), behind
// one pair of calls for the starters' base class.
#pragma once

#include <string>
#include <vector>

#include "browser/browser_starter.h"

namespace Browser {

// Adds the host to the proxy exceptions and returns what the changed settings held before;
// empty when nothing could be changed.
std::vector<SavedSetting> AddProxyException(const std::string& hostName);

// Puts the settings back as they were.
void RestoreProxyExceptions(const std::vector<SavedSetting>& saved);

// A no_proxy list with the host added: the old list, a comma and the host, or the host alone.
std::string NoProxyWithHost(const std::string& oldValue, bool present, const std::string& host);

}  // namespace Browser
