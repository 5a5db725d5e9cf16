// Writes the seed archives of the zip targets into the folder named on the command line, made with
// the project's own ZipWriter: stored and deflated items, data descriptors, folders, names that
// must not be unpacked, and a name that meets the staging's own decrypted zip.
#include <cstdio>
#include <string>
#include <vector>

#include "stack/zip_writer.h"

namespace {

using Method = ZipWriter::Method;

struct Item {
    std::string name;
    std::string bytes;
    Method method = Method::kDeflated;
    bool descriptor = false;
};

struct Seed {
    const char* file;
    std::vector<Item> items;
};

std::string Repeated(const std::string& text, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

bool WriteSeed(const std::string& folder, const Seed& seed) {
    FileSink sink(folder + "/" + seed.file);
    ZipWriter zip(sink);
    bool ok = sink.ok();
    for (const Item& item : seed.items) {
        if (!item.name.empty() && item.name.back() == '/') {
            ok = ok && zip.AddFolder(item.name);
        } else {
            ok = ok && zip.AddBytes(item.name, item.bytes, item.method, item.descriptor);
        }
    }
    return zip.Finish() && sink.Close() && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string table = "CREATE TABLE t (id INT);\nINSERT INTO t VALUES (1);\n";
    const std::vector<Seed> seeds = {
        {"empty.zip", {}},
        {"stored.zip", {{"dbdir/site/t.frm", table, Method::kStored}}},
        {"deflated.zip",
         {{"dbdir/", ""},
          {"dbdir/site/", ""},
          {"dbdir/site/t.MYD", Repeated(table, 40)},
          {"dbdir/mysql/user.MYI", "\x01\x02\x03\xfe\xff", Method::kStored}}},
        {"descriptors.zip",
         {{"dbdir/a.bin", Repeated("abc", 100), Method::kDeflated, true},
          {"dbdir/b.bin", "plain", Method::kStored, true},
          {"dbdir/empty", "", Method::kDeflated, true}}},
        {"unsafe-names.zip",
         {{"../up.txt", "x"},
          {"dbdir/../../x", "x"},
          {"/abs.txt", "x"},
          {"C:\\win.txt", "x"},
          {"a\\..\\..\\b", "x"},
          {"dbdir/./c", "x"},
          {"dbdir/ .. /d", "x"},
          {"dbdir/ok.txt", "kept"}}},
        {"backslashes.zip", {{"dbdir\\sub\\e.txt", "e"}, {"dbdir\\sub\\", ""}}},
        {"own-zip-name.zip", {{"dbdir.zip", "over the archive"}, {"dbdir/f.txt", "f"}}},
    };
    for (const Seed& seed : seeds) {
        if (!WriteSeed(argv[1], seed)) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], seed.file);
            return 1;
        }
    }
    return 0;
}
