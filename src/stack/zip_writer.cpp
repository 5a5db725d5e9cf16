#include "stack/zip_writer.h"

#include <zlib.h>

#include <algorithm>

#include "stack/zip_format.h"

using namespace zipformat;

namespace {

constexpr size_t kWriteBufferSize = 64 * 1024;
constexpr uint16_t kVersion = 20;
// 1980-01-01 00:00 in MS-DOS form: archives of the same tree come out the same.
constexpr uint16_t kDosTime = 0;
constexpr uint16_t kDosDate = (1 << 5) | 1;
constexpr uint32_t kFolderAttribute = 0x10;
constexpr uint64_t kLimit32 = 0xffffffffull;
constexpr size_t kMaxEntries = 0xfffe;

uint16_t MethodCode(ZipWriter::Method method) {
    return method == ZipWriter::Method::kDeflated ? kMethodDeflated : kMethodStored;
}

// Ends the deflate stream whatever way the item ends.
class Deflater {
public:
    Deflater() {
        ok_ = deflateInit2(&stream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8,
                           Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~Deflater() {
        if (ok_) {
            deflateEnd(&stream_);
        }
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    bool ok() const { return ok_; }
    z_stream& stream() { return stream_; }

private:
    z_stream stream_{};
    bool ok_ = false;
};

}  // namespace

bool FileSink::Write(const void* data, size_t size) {
    return file_ && std::fwrite(data, 1, size, file_.get()) == size;
}

bool FileSink::Close() {
    return file_ && std::fclose(file_.release()) == 0;
}

bool ZipWriter::Put(const void* data, size_t size) {
    if (!ok_ || !sink_.Write(data, size)) {
        ok_ = false;
        return false;
    }
    offset_ += size;
    return true;
}

bool ZipWriter::BeginEntry(Entry& entry) {
    if (!ok_ || entries_.size() >= kMaxEntries || offset_ > kLimit32 ||
        entry.name.size() > 0xffff) {
        ok_ = false;
        return false;
    }
    entry.offset = static_cast<uint32_t>(offset_);
    std::string h;
    Put32(h, kLocalHeaderSignature);
    Put16(h, kVersion);
    Put16(h, entry.flags);
    Put16(h, entry.method);
    Put16(h, kDosTime);
    Put16(h, kDosDate);
    const bool later = (entry.flags & kFlagDataDescriptor) != 0;
    Put32(h, later ? 0 : entry.crc);
    Put32(h, later ? 0 : entry.compressedSize);
    Put32(h, later ? 0 : entry.size);
    Put16(h, static_cast<uint16_t>(entry.name.size()));
    Put16(h, 0);
    return Put(h + entry.name);
}

bool ZipWriter::AddFolder(const std::string& name) {
    Entry entry;
    entry.name = name;
    if (!BeginEntry(entry)) {
        return false;
    }
    entries_.push_back(entry);
    return true;
}

bool ZipWriter::AddBytes(const std::string& name, const std::string& bytes, Method method,
                         bool descriptor) {
    if (descriptor) {
        size_t done = 0;
        return StreamEntry(
            name,
            [&](unsigned char* buffer, size_t capacity, size_t* got) {
                *got = std::min(capacity, bytes.size() - done);
                std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(done),
                          bytes.begin() + static_cast<std::ptrdiff_t>(done + *got), buffer);
                done += *got;
                return true;
            },
            method);
    }
    if (bytes.size() > kLimit32) {
        ok_ = false;
        return false;
    }
    Entry entry;
    entry.name = name;
    entry.method = MethodCode(method);
    entry.size = static_cast<uint32_t>(bytes.size());
    entry.crc = static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0),
                                            reinterpret_cast<const Bytef*>(bytes.data()),
                                            static_cast<uInt>(bytes.size())));
    std::string data = bytes;
    if (method == Method::kDeflated) {
        Deflater deflater;
        if (!deflater.ok()) {
            ok_ = false;
            return false;
        }
        z_stream& z = deflater.stream();
        data.assign(deflateBound(&z, static_cast<uLong>(bytes.size())), '\0');
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
        z.avail_in = static_cast<uInt>(bytes.size());
        z.next_out = reinterpret_cast<Bytef*>(&data[0]);
        z.avail_out = static_cast<uInt>(data.size());
        if (deflate(&z, Z_FINISH) != Z_STREAM_END) {
            ok_ = false;
            return false;
        }
        data.resize(data.size() - z.avail_out);
    }
    entry.compressedSize = static_cast<uint32_t>(data.size());
    if (!BeginEntry(entry) || !Put(data)) {
        return false;
    }
    entries_.push_back(entry);
    return true;
}

bool ZipWriter::AddFile(const std::string& name, const std::string& path, Method method) {
    UniqueFile file = OpenFile(path, "rb");
    if (!file) {
        ok_ = false;
        return false;
    }
    return StreamEntry(
        name,
        [&](unsigned char* buffer, size_t capacity, size_t* got) {
            *got = std::fread(buffer, 1, capacity, file.get());
            return *got > 0 || !std::ferror(file.get());
        },
        method);
}

bool ZipWriter::StreamEntry(const std::string& name, const Reader& read, Method method) {
    Entry entry;
    entry.name = name;
    entry.method = MethodCode(method);
    entry.flags = kFlagDataDescriptor;
    if (!BeginEntry(entry)) {
        return false;
    }
    const uint64_t dataStart = offset_;
    uint64_t size = 0;
    uLong crc = crc32(0L, Z_NULL, 0);
    std::vector<unsigned char> plain(kWriteBufferSize);
    std::vector<unsigned char> packed(kWriteBufferSize);
    Deflater deflater;
    if (method == Method::kDeflated && !deflater.ok()) {
        ok_ = false;
        return false;
    }
    bool end = false;
    while (!end) {
        size_t got = 0;
        if (!read(plain.data(), plain.size(), &got)) {
            ok_ = false;
            return false;
        }
        end = got == 0;
        size += got;
        crc = crc32(crc, plain.data(), static_cast<uInt>(got));
        if (method == Method::kStored) {
            if (!Put(plain.data(), got)) {
                return false;
            }
            continue;
        }
        z_stream& z = deflater.stream();
        z.next_in = plain.data();
        z.avail_in = static_cast<uInt>(got);
        int status = Z_OK;
        do {
            z.next_out = packed.data();
            z.avail_out = static_cast<uInt>(packed.size());
            status = deflate(&z, end ? Z_FINISH : Z_NO_FLUSH);
            if (status == Z_STREAM_ERROR || !Put(packed.data(), packed.size() - z.avail_out)) {
                ok_ = false;
                return false;
            }
        } while (z.avail_out == 0 || (end && status != Z_STREAM_END));
    }
    const uint64_t compressedSize = offset_ - dataStart;
    if (size > kLimit32 || compressedSize > kLimit32) {
        ok_ = false;
        return false;
    }
    entry.crc = static_cast<uint32_t>(crc);
    entry.size = static_cast<uint32_t>(size);
    entry.compressedSize = static_cast<uint32_t>(compressedSize);
    std::string d;
    Put32(d, kDataDescriptorSignature);
    Put32(d, entry.crc);
    Put32(d, entry.compressedSize);
    Put32(d, entry.size);
    if (!Put(d)) {
        return false;
    }
    entries_.push_back(entry);
    return true;
}

bool ZipWriter::Finish() {
    if (!ok_ || offset_ > kLimit32) {
        return false;
    }
    const uint64_t directoryStart = offset_;
    for (const Entry& e : entries_) {
        std::string h;
        Put32(h, kCentralHeaderSignature);
        Put16(h, kVersion);  // made by: MS-DOS attributes
        Put16(h, kVersion);
        Put16(h, e.flags);
        Put16(h, e.method);
        Put16(h, kDosTime);
        Put16(h, kDosDate);
        Put32(h, e.crc);
        Put32(h, e.compressedSize);
        Put32(h, e.size);
        Put16(h, static_cast<uint16_t>(e.name.size()));
        Put16(h, 0);  // extra field
        Put16(h, 0);  // comment
        Put16(h, 0);  // disk
        Put16(h, 0);  // internal attributes
        const bool folder = !e.name.empty() && e.name.back() == '/';
        Put32(h, folder ? kFolderAttribute : 0);
        Put32(h, e.offset);
        if (!Put(h + e.name)) {
            return false;
        }
    }
    const uint64_t directorySize = offset_ - directoryStart;
    if (offset_ > kLimit32) {
        return false;
    }
    std::string end;
    Put32(end, kEndRecordSignature);
    Put16(end, 0);
    Put16(end, 0);
    Put16(end, static_cast<uint16_t>(entries_.size()));
    Put16(end, static_cast<uint16_t>(entries_.size()));
    Put32(end, static_cast<uint32_t>(directorySize));
    Put32(end, static_cast<uint32_t>(directoryStart));
    Put16(end, 0);
    return Put(end);
}
