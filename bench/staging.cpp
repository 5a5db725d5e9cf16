// What staging the encrypted database costs: a 64 MiB archive decrypted alone, its zip unpacked
// alone, and the whole staging, each beside a plain copy of the same bytes (in memory, and file
// to file). Data that do not compress make an archive of 64 MiB; with "compressible" the 64 MiB
// of data pack into a smaller archive.
//
//     bench_staging [runs] [compressible]
#include "bench_harness.h"

#include "stack/archive_cipher.h"
#include "stack/db_staging.h"
#include "stack/zip_writer.h"
#include "sys/files.h"
#include "sys/folders.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <numeric>
#include <cstdlib>
#include <cstring>
#include <vector>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace {

constexpr size_t kMiB = 1024 * 1024;
constexpr size_t kDataSize = 64 * kMiB;
constexpr int kFiles = 16;
const std::string kSep(1, kPathSeparator);
const std::string kPass = "benchmark pass phrase";

class EncryptingSink : public ByteSink {
public:
    explicit EncryptingSink(ArchiveEncryptor& encryptor) : encryptor_(encryptor) {}
    bool Write(const void* data, size_t size) override { return encryptor_.Write(data, size); }

private:
    ArchiveEncryptor& encryptor_;
};

void Fill(std::vector<char>& bytes, uint64_t seed, bool compressible) {
    uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    const char* words[] = {"INSERT ", "INTO ", "site ", "VALUES ", "(42, ", "'text'), ", "\n"};
    for (size_t i = 0; i < bytes.size();) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        if (compressible) {
            const char* w = words[x % 7];
            for (; *w != '\0' && i < bytes.size(); ++w) {
                bytes[i++] = *w;
            }
        } else {
            for (int b = 0; b < 8 && i < bytes.size(); ++b) {
                bytes[i++] = static_cast<char>(x >> (8 * b));
            }
        }
    }
}

void WriteBytes(const std::string& path, const std::vector<char>& bytes) {
    UniqueFile file = OpenFile(path, "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file.get());
}

double MBps(size_t bytes, const bench::Figures& f) {
    return static_cast<double>(bytes) / kMiB / (f.medianMs / 1000.0);
}

std::string Rate(size_t bytes, const bench::Figures& f) {
    char text[64];
    std::snprintf(text, sizeof(text), "%8.1f MB/s", MBps(bytes, f));
    return text;
}

size_t FileSize(const std::string& path) {
    UniqueFile file = OpenFile(path, "rb");
    if (!file) {
        return 0;
    }
    std::fseek(file.get(), 0, SEEK_END);
    return static_cast<size_t>(std::ftell(file.get()));
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    const bool compressible = argc > 2 && std::strcmp(argv[2], "compressible") == 0;

    const std::string root =
        GetTempFolder() + "trh-bench-staging-" + std::to_string(getpid()) + kSep;
    const std::string app = root + "app" + kSep;
    const std::string db = root + "db" + kSep;
    const std::string runtime = root + "Trailhost_1" + kSep;
    CreateFolders(app);
    CreateFolders(db);
    CreateFolders(runtime);

    std::vector<char> data(kDataSize / kFiles);
    for (int i = 0; i < kFiles; ++i) {
        Fill(data, static_cast<uint64_t>(i), compressible);
        WriteBytes(db + "table" + std::to_string(i) + ".ibd", data);
    }
    {
        ArchiveEncryptor encryptor;
        EncryptingSink sink(encryptor);
        ZipWriter zip(sink);
        bool ok = encryptor.Open(kPass, app + "dbdir.aes") && zip.AddFolder("dbdir/");
        for (int i = 0; ok && i < kFiles; ++i) {
            const std::string name = "table" + std::to_string(i) + ".ibd";
            ok = zip.AddFile("dbdir/" + name, db + name, ZipWriter::Method::kDeflated);
        }
        if (!(ok && zip.Finish() && encryptor.Close())) {
            std::printf("cannot write the archive under %s\n", root.c_str());
            return 1;
        }
    }
    const std::string archive = app + "dbdir.aes";
    const size_t archiveSize = FileSize(archive);
    std::printf("%s data, %d files, archive %.1f MiB, zip %.1f MiB\n",
                compressible ? "compressible" : "incompressible", kFiles,
                static_cast<double>(archiveSize) / kMiB,
                static_cast<double>(archiveSize - kCounterBlockSize) / kMiB);

    // The memory bound: the archive's bytes copied in memory, and file to file.
    std::vector<char> source(archiveSize, 'x'), target(archiveSize);
    const bench::Figures memory =
        bench::Measure(runs, [&] { std::memcpy(target.data(), source.data(), source.size()); });
    bench::Print("memcpy of the archive's size", memory, Rate(archiveSize, memory));
    const bench::Figures fileCopy =
        bench::Measure(runs, [&] { CopyOneFile(archive, root + "copy.aes"); });
    bench::Print("file copy of the archive", fileCopy, Rate(archiveSize, fileCopy));

    const std::string unpack = UnpackFolderName(runtime);
    CreateFolders(unpack);
    const std::string zipPath = unpack + "dbdir.zip";
    const bench::Figures decrypt =
        bench::Measure(runs, [&] { DecryptArchive(kPass, archive, zipPath); });
    bench::Print("decrypt alone", decrypt, Rate(archiveSize, decrypt));

    int items = 0;
    // Every run writes into fresh folders: deleting the last output right before would time the
    // file system's clean-up of the freed blocks as well.
    int round = 0;
    std::string into;
    const bench::Figures unzip = bench::MeasureAfter(
        runs, [&] { into = unpack + std::to_string(round++) + kSep; },
        [&] { items = UnpackArchive(zipPath, into); });
    bench::Print("unzip alone", unzip,
                 Rate(archiveSize, unzip) + ", " + std::to_string(items) + " items");

    AppSettings settings;
    std::string dbFolder;
    const bench::Figures whole = bench::MeasureAfter(
        runs, [&] { DeleteFolderTree(runtime + "encdb"); },
        [&] { dbFolder = StageDatabase(settings, app, runtime, kPass); });
    bench::Print("whole staging", whole, Rate(archiveSize, whole));

    const double ratio = whole.medianMs / (decrypt.medianMs + unzip.medianMs);
    std::printf("whole / (decrypt + unzip) = %.3f (goal: at most 1.25)\n", ratio);
    std::printf("unpacked into %s: %s\n", dbFolder.c_str(),
                PathExists(dbFolder + "table0.ibd") ? "ok" : "MISSING");

    DeleteFolderTree(root);
    return 0;
}
