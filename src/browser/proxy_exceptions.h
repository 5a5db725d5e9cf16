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

// Undoes AddProxyException. This process's environment (Linux) gets its saved lists back. A
// machine setting (Windows), which others may have changed since, gets back its saved type and
// bytes while it still holds exactly what AddProxyException made of it; otherwise only the host
// it added is taken out (RemoveProxyException) and the rest stays. False when a setting could
// not be written.
bool RestoreProxyExceptions(const std::vector<SavedSetting>& saved, const std::string& hostName);

// Takes the host that AddProxyException added out of the machine setting saved in `saved` (the
// last " host" that stands as an entry of its own, wherever it is now), keeping the setting's type
// and everything else in it; a setting that is exactly what AddProxyException made of it gets its
// saved type and bytes back. For the stop and for a run that was killed. True when the host is no
// longer in the setting (also when it was not there); nothing to do on Linux.
bool RemoveProxyException(const SavedSetting& saved, const std::string& hostName);

// A saved setting and its host as journal fields, and back: name, "1" when it was set, its text,
// the host, then its type and its bytes in hexadecimal. Fields of an older journal (the first
// four) give a text value.
std::vector<std::string> ProxyJournalFields(const SavedSetting& saved, const std::string& hostName);
bool SavedSettingFromJournal(const std::vector<std::string>& fields, SavedSetting& saved,
                             std::string& hostName);

// A no_proxy list with the host added: the old list, a comma and the host, or the host alone.
std::string NoProxyWithHost(const std::string& oldValue, bool present, const std::string& host);

}  // namespace Browser
