// A reader of zip archives with stored and deflated items, such as the decrypted database
// archive. It supports what the packing tool and common zip programs write for one folder tree,
// and refuses the rest rather than misreading it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sys/files.h"

class ZipReader {
public:
    ZipReader() = default;
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    // Opens an archive and reads its directory. False, with no items, for a file that is not a
    // zip archive, is damaged, or uses what this reader does not support: several disks, 64-bit
    // sizes, encryption, or compression other than stored and deflated. Items whose data would
    // share bytes with another item's (a way to make a small archive unpack into far more than
    // it holds) count as damage.
    bool Open(const std::string& path);

    int Count() const { return static_cast<int>(items_.size()); }

    // The item's name as stored: a relative path with "/" separators, ending in "/" for a
    // folder. Check it with IsSafeItemName before building a path from it.
    const std::string& Name(int index) const { return items_.at(static_cast<size_t>(index)).name; }

    // The size the item unpacks to, as the directory gives it; Extract writes no more than that.
    uint32_t Size(int index) const { return items_.at(static_cast<size_t>(index)).size; }

    // Writes item `index` to `target` (a folder item creates the folder), as a file that only
    // this user may read (CreatePrivateFile). The folder that holds `target` must exist. False
    // when the item's data are damaged (wrong size or checksum) or cannot be written; a damaged
    // file is removed again.
    bool Extract(int index, const std::string& target);

    void Close();

private:
    struct Item {
        std::string name;
        uint16_t method = 0;
        uint32_t crc = 0;
        uint32_t compressedSize = 0;
        uint32_t size = 0;
        uint32_t localOffset = 0;
        uint64_t dataStart = 0;  // where the item's data begin, after its local header
    };

    bool ReadDirectory();
    bool ReadLocalHeaders();
    bool CopyData(const Item& item, uint64_t dataStart, std::FILE* out);

    UniqueFile file_;
    uint64_t directoryOffset_ = 0;
    std::vector<Item> items_;
};

// True for an item name that stays inside the folder it is unpacked into: not empty, no leading
// separator, no drive letter or other ':', no part that is empty or made of dots and blanks only
// (".", ".." and what Windows would read as such), no control characters. "\" counts as a
// separator too, since it is one on Windows.
bool IsSafeItemName(const std::string& name);
