#include "stack/zip_reader.h"

#include <gtest/gtest.h>

#include "archive_builder.h"
#include "test_support.h"

using namespace testarchive;
using namespace testsupport;
using Method = ZipWriter::Method;

namespace {

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i % 97) + (i / 1000));
    }
    return bytes;
}

void Put16(std::string& bytes, size_t at, uint16_t value) {
    bytes[at] = static_cast<char>(value & 0xff);
    bytes[at + 1] = static_cast<char>(value >> 8);
}

// Where a central directory record holds the item's local header offset, and its name.
constexpr size_t kCentralLocalOffset = 42;
constexpr size_t kCentralNameOffset = 46;

size_t Find(const std::string& bytes, const char* signature) {
    return bytes.find(std::string(signature, 4));
}

const char kCentral[] = "PK\x01\x02";
const char kEnd[] = "PK\x05\x06";

TEST(ZipReader, ExtractsStoredAndDeflatedItemsWithOrWithoutDescriptors) {
    const std::vector<Item> items = {
        {"dbdir/", "", Method::kStored, false},
        {"dbdir/stored.bin", Pattern(70000), Method::kStored, false},
        {"dbdir/deflated.bin", Pattern(200000), Method::kDeflated, false},
        {"dbdir/sub/", "", Method::kStored, false},
        {"dbdir/sub/stored-dd.bin", Pattern(3), Method::kStored, true},
        {"dbdir/sub/deflated-dd.bin", Pattern(150000), Method::kDeflated, true},
        {"dbdir/empty", "", Method::kDeflated, false},
        {"dbdir/empty-dd", "", Method::kDeflated, true},
    };
    TempDir dir;
    WriteFile(dir / "a.zip", ZipBytes(items));
    ZipReader zip;
    ASSERT_TRUE(zip.Open(dir / "a.zip"));
    ASSERT_EQ(zip.Count(), static_cast<int>(items.size()));
    for (int i = 0; i < zip.Count(); ++i) {
        const Item& item = items[static_cast<size_t>(i)];
        EXPECT_EQ(zip.Name(i), item.name);
        const std::string target = dir / "out" + std::to_string(i);
        ASSERT_TRUE(zip.Extract(i, target)) << item.name;
        if (item.name.back() == '/') {
            EXPECT_TRUE(PathExists(target));
        } else {
            EXPECT_EQ(ReadFile(target), item.bytes) << item.name;
        }
    }
}

// Archives written at build time by other zip writers (tests/stack/foreign_zips.py): Info-ZIP's
// zip with its own deflate, and Python's zipfile, each at several levels, holding files of zeros
// and of mixed bytes in sizes around multiples of 64 KiB. Every item must come out byte for byte.
TEST(ZipReader, ReadsEveryItemThatOtherWritersDeflated) {
    const std::string folder = TestBinFolder() + "foreign-zips" + kSep;
    std::vector<FolderEntry> data;
    ASSERT_TRUE(ListFolder(folder + "data", data)) << folder;
    ASSERT_GT(data.size(), 100u);
    TempDir dir;
    for (const char* archive : {"info-zip-0", "info-zip-1", "info-zip-6", "info-zip-9", "python-1",
                                "python-6", "python-9"}) {
        ZipReader zip;
        ASSERT_TRUE(zip.Open(folder + archive + ".zip")) << archive;
        ASSERT_EQ(zip.Count(), static_cast<int>(data.size())) << archive;
        for (int i = 0; i < zip.Count(); ++i) {
            const std::string target = dir / "item";
            EXPECT_TRUE(zip.Extract(i, target)) << archive << " " << zip.Name(i);
            EXPECT_TRUE(ReadFile(target) == ReadFile(folder + "data" + kSep + zip.Name(i)))
                << archive << " " << zip.Name(i);
        }
    }
}

// What the reader refuses rather than misreads, beside what it reads: -1 is a refusal.
TEST(ZipReader, OpensOnlyWhatItSupports) {
    const std::string good = ZipBytes({{"a.txt", "hello", Method::kDeflated}});
    const size_t central = Find(good, kCentral);
    const size_t end = Find(good, kEnd);
    // The record at `at` with a 16-bit field changed.
    const auto with = [&](size_t at, uint16_t value) {
        std::string bytes = good;
        Put16(bytes, at, value);
        return bytes;
    };
    std::string zip64 = good;
    zip64.replace(central + 20, 4, "\xff\xff\xff\xff");
    std::string miscounted = with(end + 8, 2);
    Put16(miscounted, end + 10, 2);
    // Items whose bytes overlap: a small archive that would unpack into far more than it holds.
    // `zip` (of one item) with a second directory entry, for the item `local` bytes into it.
    const auto withSecondEntry = [](std::string zip, const std::string& entry, size_t local) {
        const size_t directory = Find(zip, kCentral);
        const size_t added = Find(zip, kEnd);
        zip.insert(added, entry);
        zip[added + kCentralNameOffset] = 'b';
        Put16(zip, added + kCentralLocalOffset, static_cast<uint16_t>(local));
        const size_t last = added + entry.size();
        Put16(zip, last + 8, 2);
        Put16(zip, last + 10, 2);
        Put16(zip, last + 12, static_cast<uint16_t>(last - directory));
        return zip;
    };
    const auto entryOf = [](const std::string& zip) {
        return zip.substr(Find(zip, kCentral), Find(zip, kEnd) - Find(zip, kCentral));
    };
    // Two directory entries that lead to the same local item.
    const std::string big = ZipBytes({{"a", std::string(100000, 'z'), Method::kDeflated}});
    const std::string shared = withSecondEntry(big, entryOf(big), 0);
    // An item whose header and data lie inside the stored data of another.
    const std::string inner = ZipBytes({{"b", std::string(100000, 'z'), Method::kDeflated}});
    const std::string nested =
        withSecondEntry(ZipBytes({{"a", inner.substr(0, Find(inner, kCentral)), Method::kStored}}),
                        entryOf(inner), 30 + 1);

    const struct {
        const char* what;
        std::string bytes;
        int count;
    } rows[] = {
        {"an archive", good, 1},
        {"an empty archive", ZipBytes({}), 0},
        {"a comment after the end record", with(end + 20, 7) + "comment", 1},
        {"no bytes", "", -1},
        {"a signature alone", "PK", -1},
        {"no archive", std::string(100000, 'x'), -1},
        {"encrypted", with(central + 8, 0x0001), -1},
        {"bzip2", with(central + 10, 12), -1},
        {"64-bit sizes", zip64, -1},
        {"several disks", with(end + 4, 1), -1},
        {"a wrong item count", miscounted, -1},
        {"data before the archive move every offset", "prefix" + good, -1},
        {"items that share data", shared, -1},
        {"an item inside another", nested, -1},
    };
    TempDir dir;
    for (const auto& row : rows) {
        WriteFile(dir / "a.zip", row.bytes);
        ZipReader zip;
        EXPECT_EQ(zip.Open(dir / "a.zip") ? zip.Count() : -1, row.count) << row.what;
    }
    ZipReader zip;
    EXPECT_FALSE(zip.Open(dir / "missing.zip"));
    EXPECT_EQ(zip.Count(), 0);
}

TEST(ZipReader, DamagedDataAreNotWritten) {
    const std::string plain = Pattern(50000);
    for (Method method : {Method::kStored, Method::kDeflated}) {
        std::string bytes = ZipBytes({{"a.bin", plain, method}});
        bytes[100] = static_cast<char>(bytes[100] ^ 0x55);
        TempDir dir;
        WriteFile(dir / "a.zip", bytes);
        ZipReader zip;
        ASSERT_TRUE(zip.Open(dir / "a.zip"));
        EXPECT_FALSE(zip.Extract(0, dir / "a.bin"));
        EXPECT_FALSE(PathExists(dir / "a.bin"));
    }
}

TEST(ZipItemNames, OnlyNamesThatStayInsideAreSafe) {
    for (const char* name :
         {"dbdir/", "dbdir/a", "dbdir/sub/b.frm", "a..b", "..a", "a/b..", "dbdir/file.", "x"}) {
        EXPECT_TRUE(IsSafeItemName(name)) << name;
    }
    for (const char* name :
         {"", "/", "/etc/passwd", "\\windows\\x", "../x", "dbdir/../../x", "dbdir/..", "..",
          "dbdir\\..\\..\\x", "C:/x", "c:x", "dbdir/a:stream", "./x", "dbdir/./x", "dbdir//x",
          "dbdir/...", "dbdir/. ./x", "dbdir/\x01"}) {
        EXPECT_FALSE(IsSafeItemName(name)) << name;
    }
}

TEST(ZipWriter, RefusesToGoOnAfterASinkFailure) {
    class FailingSink : public ByteSink {
    public:
        bool Write(const void*, size_t) override { return false; }
    } sink;
    ZipWriter zip(sink);
    EXPECT_FALSE(zip.AddBytes("a", "x", Method::kDeflated));
    EXPECT_FALSE(zip.Finish());
}

}  // namespace
