// What the fuzz targets share: a private scratch folder per process, a check that makes libFuzzer
// keep the input, small file and text helpers, and the zip targets' limits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace fuzzsupport {

// A folder of this process's own under the temporary folder (mkdtemp), made on first use and
// removed with everything in it when the process exits normally. Ends with '/'.
const std::string& ScratchFolder();

// Reports a broken rule with the input's text and aborts, so that libFuzzer saves the input.
[[noreturn]] void Fail(const char* file, int line, const char* rule, std::string_view detail);

// The input as text, byte for byte.
inline std::string Text(const std::uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// Whole-file write and read, byte for byte; Fail when the write does not succeed.
void WriteBytes(const std::string& path, std::string_view bytes);
std::string ReadBytes(const std::string& path);

// Everything below `folder` (ending in '/'), as paths relative to it with '/' separators,
// sorted; folders end in '/'. Links are listed and never entered.
std::vector<std::string> TreeBelow(const std::string& folder);

// The entries directly in `folder`, sorted, folders ending in '/'.
std::vector<std::string> FolderEntries(const std::string& folder);

// The text's lines (without their line feeds), at most `limit` of them.
std::vector<std::string> Lines(const std::string& text, std::size_t limit);

// ASCII letters with their case swapped; other bytes as they are.
std::string SwapCase(std::string_view text);

}  // namespace fuzzsupport

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

// Checks a rule that the code under test promises; a broken one aborts the run.
#define FUZZ_CHECK(rule, detail)                                      \
    do {                                                              \
        if (!(rule)) {                                                \
            ::fuzzsupport::Fail(__FILE__, __LINE__, #rule, (detail)); \
        }                                                             \
    } while (false)
