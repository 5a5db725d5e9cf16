// Archives of a chosen make for the staging tests: zip bytes from items, and encrypted archives.
#pragma once

#include <string>
#include <vector>

#include "stack/archive_cipher.h"
#include "stack/zip_writer.h"

namespace testarchive {

struct Item {
    std::string name;
    std::string bytes;
    ZipWriter::Method method = ZipWriter::Method::kDeflated;
    bool descriptor = false;
};

class StringSink : public ByteSink {
public:
    bool Write(const void* data, size_t size) override {
        bytes.append(static_cast<const char*>(data), size);
        return true;
    }
    std::string bytes;
};

// A zip archive of the items; names ending in "/" become folder items.
inline std::string ZipBytes(const std::vector<Item>& items) {
    StringSink sink;
    ZipWriter zip(sink);
    for (const Item& item : items) {
        if (!item.name.empty() && item.name.back() == '/') {
            zip.AddFolder(item.name);
        } else {
            zip.AddBytes(item.name, item.bytes, item.method, item.descriptor);
        }
    }
    zip.Finish();
    return sink.bytes;
}

// Writes `plain` encrypted under the pass phrase, with a fixed counter block.
inline bool WriteArchive(const std::string& path, const std::string& passPhrase,
                         const std::string& plain) {
    const unsigned char counter[kCounterBlockSize] = {0xfe, 0xff, 0xff, 1, 2,  3,  4,  5,
                                                      6,    7,    8,    9, 10, 11, 12, 13};
    ArchiveEncryptor encryptor;
    return encryptor.Open(passPhrase, path, counter) &&
           encryptor.Write(plain.data(), plain.size()) && encryptor.Close();
}

}  // namespace testarchive
