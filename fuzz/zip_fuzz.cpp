// The zip reader and the unpacking of the database archive: the input is a zip file, unpacked
// into a folder four levels below the scratch folder. Afterwards every level above the unpack
// folder must hold nothing new, and everything in it must come from an item whose name passed
// IsSafeItemName.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "stack/db_staging.h"
#include "stack/zip_reader.h"
#include "sys/files.h"

using fuzzsupport::FolderEntries;
using fuzzsupport::ScratchFolder;

namespace {

const std::vector<std::string> kLevels = {"l1/", "l2/", "l3/", "out/"};

std::string Joined(size_t levels) {
    std::string path = ScratchFolder();
    for (size_t i = 0; i < levels; ++i) {
        path += kLevels[i];
    }
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzlimits::CapFileSize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes = fuzzsupport::Text(data, size);
    const std::string zipPath = ScratchFolder() + "in.zip";
    const std::string unpack = Joined(kLevels.size());
    fuzzsupport::WriteBytes(zipPath, bytes);
    FUZZ_CHECK(CreateFolders(unpack), unpack);

    ZipReader zip;
    const bool opened = zip.Open(zipPath);
    FUZZ_CHECK(opened || zip.Count() == 0, "a refused archive has no items");
    const std::set<std::string> allowed = fuzzlimits::PathsOfSafeItems(zip);
    size_t safeItems = 0;
    for (int i = 0; i < zip.Count(); ++i) {
        safeItems += IsSafeItemName(zip.Name(i)) ? 1 : 0;
    }
    zip.Close();

    const int written = UnpackArchive(zipPath, unpack);
    FUZZ_CHECK(written >= 0 && static_cast<size_t>(written) <= safeItems, std::to_string(written));
    FUZZ_CHECK(opened || written == 0, std::to_string(written));

    // Nothing beside the path down to the unpack folder, and nothing in it that no item named.
    FUZZ_CHECK(FolderEntries(ScratchFolder()) == (std::vector<std::string>{"in.zip", kLevels[0]}),
               "scratch folder");
    for (size_t level = 1; level < kLevels.size(); ++level) {
        FUZZ_CHECK(FolderEntries(Joined(level)) == std::vector<std::string>{kLevels[level]},
                   Joined(level));
    }
    for (const std::string& path : fuzzsupport::TreeBelow(unpack)) {
        FUZZ_CHECK(allowed.count(path) == 1, path);
    }

    DeleteFolderTree(unpack);
    return 0;
}
