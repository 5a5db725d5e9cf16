#include "stack/zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>

#include "stack/zip_format.h"

using namespace zipformat;

namespace {

constexpr size_t kBufferSize = 64 * 1024;
// The directory is read whole; a real one of this size would hold about a million items.
constexpr uint32_t kMaxDirectorySize = 64u * 1024 * 1024;

bool SeekTo(std::FILE* file, uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

bool SizeOf(std::FILE* file, uint64_t* size) {
#ifdef _WIN32
    if (_fseeki64(file, 0, SEEK_END) != 0) {
        return false;
    }
    const __int64 end = _ftelli64(file);
#else
    if (fseeko(file, 0, SEEK_END) != 0) {
        return false;
    }
    const off_t end = ftello(file);
#endif
    if (end < 0) {
        return false;
    }
    *size = static_cast<uint64_t>(end);
    return true;
}

bool ReadAt(std::FILE* file, uint64_t offset, void* buffer, size_t size) {
    return SeekTo(file, offset) && std::fread(buffer, 1, size, file) == size;
}

// Ends the inflate stream whatever way the extraction ends.
class Inflater {
public:
    Inflater() { ok_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK; }
    ~Inflater() {
        if (ok_) {
            inflateEnd(&stream_);
        }
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    bool ok() const { return ok_; }
    z_stream& stream() { return stream_; }

private:
    z_stream stream_{};
    bool ok_ = false;
};

bool IsDotsAndBlanks(const std::string& part) {
    return part.find_first_not_of(". ") == std::string::npos;
}

// The end record in the file's tail: the last signature whose comment length reaches exactly to
// the end; null when there is none.
const unsigned char* FindEndRecord(const std::vector<unsigned char>& tail) {
    for (size_t pos = tail.size() - kEndRecordSize + 1; pos-- > 0;) {
        const unsigned char* p = tail.data() + pos;
        if (Read32(p) == kEndRecordSignature &&
            pos + kEndRecordSize + Read16(p + 20) == tail.size()) {
            return p;
        }
    }
    return nullptr;
}

}  // namespace

bool IsSafeItemName(const std::string& name) {
    if (name.empty() || name[0] == '/' || name[0] == '\\') {
        return false;
    }
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == ':') {
            return false;
        }
    }
    std::string part;
    for (size_t i = 0; i <= name.size(); ++i) {
        const bool end = i == name.size();
        if (end || name[i] == '/' || name[i] == '\\') {
            // A folder item ends in a separator; that last, empty part is fine.
            if (!(end && i > 0 && part.empty()) && IsDotsAndBlanks(part)) {
                return false;
            }
            part.clear();
        } else {
            part += name[i];
        }
    }
    return true;
}

bool ZipReader::Open(const std::string& path) {
    Close();
    file_ = OpenFile(path, "rb");
    if (!file_ || !ReadDirectory()) {
        Close();
        return false;
    }
    return true;
}

void ZipReader::Close() {
    file_.reset();
    items_.clear();
    directoryOffset_ = 0;
}

bool ZipReader::ReadDirectory() {
    uint64_t fileSize = 0;
    if (!SizeOf(file_.get(), &fileSize) || fileSize < kEndRecordSize) {
        return false;
    }
    // The end record is the last thing in the file, followed only by its comment.
    const uint64_t tailSize =
        fileSize < kEndRecordSize + kMaxCommentSize ? fileSize : kEndRecordSize + kMaxCommentSize;
    std::vector<unsigned char> tail(static_cast<size_t>(tailSize));
    if (!ReadAt(file_.get(), fileSize - tailSize, tail.data(), tail.size())) {
        return false;
    }
    const unsigned char* end = FindEndRecord(tail);
    if (end == nullptr) {
        return false;
    }
    const uint64_t endOffset = fileSize - tailSize + static_cast<uint64_t>(end - tail.data());
    const uint16_t disk = Read16(end + 4);
    const uint16_t directoryDisk = Read16(end + 6);
    const uint16_t itemsOnDisk = Read16(end + 8);
    const uint16_t itemCount = Read16(end + 10);
    const uint32_t directorySize = Read32(end + 12);
    const uint32_t directoryOffset = Read32(end + 16);
    // Several disks and the 64-bit extension (whose markers are all-ones values) are refused;
    // the directory must lie right before the end record.
    if (disk != 0 || directoryDisk != 0 || itemsOnDisk != itemCount || itemCount == 0xffff ||
        directorySize == 0xffffffff || directoryOffset == 0xffffffff ||
        directorySize > kMaxDirectorySize ||
        static_cast<uint64_t>(directoryOffset) + directorySize != endOffset) {
        return false;
    }
    std::vector<unsigned char> directory(directorySize);
    if (directorySize > 0 &&
        !ReadAt(file_.get(), directoryOffset, directory.data(), directory.size())) {
        return false;
    }
    size_t pos = 0;
    for (uint16_t n = 0; n < itemCount; ++n) {
        if (directory.size() - pos < kCentralHeaderSize) {
            return false;
        }
        const unsigned char* h = directory.data() + pos;
        if (Read32(h) != kCentralHeaderSignature) {
            return false;
        }
        const uint16_t flags = Read16(h + 8);
        Item item;
        item.method = Read16(h + 10);
        item.crc = Read32(h + 16);
        item.compressedSize = Read32(h + 20);
        item.size = Read32(h + 24);
        const uint16_t nameLength = Read16(h + 28);
        const uint16_t extraLength = Read16(h + 30);
        const uint16_t commentLength = Read16(h + 32);
        const uint16_t startDisk = Read16(h + 34);
        item.localOffset = Read32(h + 42);
        const size_t recordSize =
            kCentralHeaderSize + size_t{nameLength} + extraLength + commentLength;
        if (directory.size() - pos < recordSize) {
            return false;
        }
        if ((flags & (kFlagEncrypted | kFlagStrongEncryption | kFlagMaskedHeaders)) != 0 ||
            (item.method != kMethodStored && item.method != kMethodDeflated) || startDisk != 0 ||
            item.compressedSize == 0xffffffff || item.size == 0xffffffff ||
            item.localOffset == 0xffffffff ||
            (item.method == kMethodStored && item.compressedSize != item.size) ||
            static_cast<uint64_t>(item.localOffset) + kLocalHeaderSize > directoryOffset) {
            return false;
        }
        item.name.assign(reinterpret_cast<const char*>(h + kCentralHeaderSize), nameLength);
        items_.push_back(std::move(item));
        pos += recordSize;
    }
    if (pos != directory.size()) {
        return false;
    }
    directoryOffset_ = directoryOffset;
    return ReadLocalHeaders();
}

bool ZipReader::ReadLocalHeaders() {
    for (Item& item : items_) {
        unsigned char header[kLocalHeaderSize];
        if (!ReadAt(file_.get(), item.localOffset, header, sizeof(header)) ||
            Read32(header) != kLocalHeaderSignature || Read16(header + 8) != item.method) {
            return false;
        }
        item.dataStart = uint64_t{item.localOffset} + kLocalHeaderSize + Read16(header + 26) +
                         Read16(header + 28);
        if (item.dataStart + item.compressedSize > directoryOffset_) {
            return false;
        }
    }
    // Each item's header and data must have bytes of their own.
    std::vector<const Item*> byOffset;
    for (const Item& item : items_) {
        byOffset.push_back(&item);
    }
    std::sort(byOffset.begin(), byOffset.end(),
              [](const Item* a, const Item* b) { return a->localOffset < b->localOffset; });
    for (size_t i = 1; i < byOffset.size(); ++i) {
        const Item& before = *byOffset[i - 1];
        if (byOffset[i]->localOffset < before.dataStart + before.compressedSize) {
            return false;
        }
    }
    return true;
}

bool ZipReader::Extract(int index, const std::string& target) {
    if (!file_ || index < 0 || index >= Count()) {
        return false;
    }
    const Item& item = items_[static_cast<size_t>(index)];
    if (!item.name.empty() && item.name.back() == '/') {
        return CreateFolders(target);
    }
    bool ok = false;
    {
        // The database's files are for the database server alone, which runs as this user.
        UniqueFile out = CreatePrivateFile(target);
        if (!out) {
            return false;
        }
        ok = CopyData(item, item.dataStart, out.get());
        ok = std::fclose(out.release()) == 0 && ok;
    }
    if (!ok) {
        std::remove(target.c_str());
    }
    return ok;
}

bool ZipReader::CopyData(const Item& item, uint64_t dataStart, std::FILE* out) {
    if (!SeekTo(file_.get(), dataStart)) {
        return false;
    }
    std::vector<unsigned char> in(kBufferSize);
    uLong crc = crc32(0L, Z_NULL, 0);
    uint64_t written = 0;
    uint32_t left = item.compressedSize;

    auto emit = [&](const unsigned char* data, size_t size) {
        written += size;
        if (written > item.size || std::fwrite(data, 1, size, out) != size) {
            return false;
        }
        crc = crc32(crc, data, static_cast<uInt>(size));
        return true;
    };
    auto fill = [&]() -> size_t {
        const size_t want = left < in.size() ? left : in.size();
        const size_t got = std::fread(in.data(), 1, want, file_.get());
        left -= static_cast<uint32_t>(got);
        return got == want ? got : 0;
    };

    if (item.method == kMethodStored) {
        while (left > 0) {
            const size_t got = fill();
            if (got == 0 || !emit(in.data(), got)) {
                return false;
            }
        }
    } else {
        Inflater inflater;
        if (!inflater.ok()) {
            return false;
        }
        z_stream& z = inflater.stream();
        std::vector<unsigned char> plain(kBufferSize);
        int status = Z_OK;
        while (status != Z_STREAM_END) {
            // Input is read only when inflate has used up what it had: when it has filled the
            // output buffer it may still hold output of input it has taken in already, and is
            // called again with nothing new.
            if (z.avail_in == 0 && left > 0) {
                const size_t got = fill();
                if (got == 0) {
                    return false;
                }
                z.next_in = in.data();
                z.avail_in = static_cast<uInt>(got);
            }
            z.next_out = plain.data();
            z.avail_out = static_cast<uInt>(plain.size());
            status = inflate(&z, Z_NO_FLUSH);
            // Z_BUF_ERROR: no progress with all of the item's data given, so the data end before
            // the deflate stream does.
            if (status != Z_OK && status != Z_STREAM_END) {
                return false;
            }
            if (!emit(plain.data(), plain.size() - z.avail_out)) {
                return false;
            }
        }
        // The deflate stream must use exactly the item's data.
        if (z.avail_in != 0 || left != 0) {
            return false;
        }
    }
    return written == item.size && crc == item.crc;
}
