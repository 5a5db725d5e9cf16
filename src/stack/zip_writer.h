// A writer of zip archives with stored and deflated items, for the packing tool and for tests
// that need archives of a particular make. Items are streamed to a sink, which need not be able to
// seek: the writer never goes back to fill in a header.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sys/files.h"

// Where the archive's bytes go.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool Write(const void* data, size_t size) = 0;
};

// A plain file as a sink.
class FileSink : public ByteSink {
public:
    explicit FileSink(const std::string& path) : file_(OpenFile(path, "wb")) {}
    bool ok() const { return file_ != nullptr; }
    bool Write(const void* data, size_t size) override;
    // Flushes and closes; false when anything could not be written.
    bool Close();

private:
    UniqueFile file_;
};

class ZipWriter {
public:
    enum class Method { kStored, kDeflated };

    explicit ZipWriter(ByteSink& sink) : sink_(sink) {}

    // A folder item; `name` ends in "/".
    bool AddFolder(const std::string& name);

    // An item with the given bytes. With `descriptor` the sizes and checksum follow the data in a
    // data descriptor instead of standing in the item's header.
    bool AddBytes(const std::string& name, const std::string& bytes, Method method,
                  bool descriptor = false);

    // An item with the content of a file, read in pieces; its sizes and checksum follow the data
    // in a data descriptor.
    bool AddFile(const std::string& name, const std::string& path, Method method);

    // Writes the directory and the end record. False when an earlier step failed or the archive
    // would need the 64-bit extension (more than 65,534 items or 4 GiB).
    bool Finish();

private:
    struct Entry {
        std::string name;
        uint16_t flags = 0;
        uint16_t method = 0;
        uint32_t crc = 0;
        uint32_t compressedSize = 0;
        uint32_t size = 0;
        uint32_t offset = 0;
    };
    // Fills a buffer with up to `capacity` plain bytes and says how many; 0 at the end. False on
    // a read error.
    using Reader = std::function<bool(unsigned char* buffer, size_t capacity, size_t* got)>;

    bool StreamEntry(const std::string& name, const Reader& read, Method method);
    bool BeginEntry(Entry& entry);
    bool Put(const void* data, size_t size);
    bool Put(const std::string& bytes) { return Put(bytes.data(), bytes.size()); }

    ByteSink& sink_;
    std::vector<Entry> entries_;
    uint64_t offset_ = 0;
    bool ok_ = true;
};
