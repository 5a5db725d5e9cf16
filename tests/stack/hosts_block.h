// The block a run appends to the hosts file for its host, with the given line ends.
#pragma once

#include <string>

#include "test_support.h"

inline std::string HostsBlock(const std::string& host, const std::string& address = "192.168.1.5",
                              const std::string& eol = testsupport::kEol) {
    return eol + "#---TRH_START---" + eol + address + "\t" + host + eol + "#---TRH_END---" + eol;
}
