// Shared by the two zip targets: a bound on the size of the files they write, and the paths that
// an archive's items may lead to.
#pragma once

#include <set>
#include <string>

class ZipReader;

namespace fuzzlimits {

// Deflated data may grow about a thousandfold, so a small input could write gigabytes (archives
// whose items share their data are refused, which keeps this to one copy per item). Files of this
// process stop at a few hundred kilobytes: a write beyond fails (SIGXFSZ ignored) like one onto a
// full disk, which the reader must handle anyway.
void CapFileSize();

// For every item that passes IsSafeItemName, its path relative to the unpack folder with '/'
// separators, and every folder on the way to it (ending in '/').
std::set<std::string> PathsOfSafeItems(const ZipReader& zip);

}  // namespace fuzzlimits
