// What the database mirror's copy costs: CopyFolderTree on a tree of 2,000 small files beside
// the system's own copy command (cp -r on Linux, xcopy on Windows), and DeleteFolderTree on it.
//
//     bench_copy_tree [runs]
#include "bench_harness.h"

#include "sys/files.h"
#include "sys/folders.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <numeric>
#include <vector>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace {

constexpr int kFolders = 20;
constexpr int kFilesPerFolder = 100;
const std::string kSep(1, kPathSeparator);

void MakeTree(const std::string& root) {
    for (int f = 0; f < kFolders; ++f) {
        const std::string folder = root + "db" + std::to_string(f) + kSep;
        CreateFolders(folder);
        for (int i = 0; i < kFilesPerFolder; ++i) {
            UniqueFile file = OpenFile(folder + "t" + std::to_string(i) + ".frm", "wb");
            const std::string bytes(512 + 37 * i, static_cast<char>('a' + i % 26));
            std::fwrite(bytes.data(), 1, bytes.size(), file.get());
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 10;
    const std::string root = GetTempFolder() + "trh-bench-copy-" + std::to_string(getpid()) + kSep;
    const std::string source = root + "src";
    const std::string target = root + "dst";
    MakeTree(source + kSep);
    std::printf("%d files in %d folders, 512 to 4,175 bytes each\n", kFolders * kFilesPerFolder,
                kFolders);

#ifdef _WIN32
    const char* emptyCommand = "rem";
    const std::string kQuote = "\"", kQuiet = " >NUL";
    const std::string command = "xcopy /E /I /Q /Y \"" + source + "\" ";
    const char* name = "xcopy /E /I (through cmd)";
#else
    const char* emptyCommand = "true";
    const std::string kQuote = "'", kQuiet = "";
    const std::string command = "cp -r '" + source + "' ";
    const char* name = "cp -r (through sh)";
#endif
    // Every copy goes to a fresh folder: deleting the last copy right before the next would
    // time the file system's clean-up of the freed blocks as well. The two copies take turns, so
    // that both meet the same state of the machine.
    int copies = 0;
    std::string next;
    const auto freshTarget = [&] { next = target + std::to_string(copies++); };
    std::vector<double> oursMs, systemMs;
    for (int i = 0; i <= runs; ++i) {
        const bench::Figures one =
            bench::MeasureAfter(1, freshTarget, [&] { CopyFolderTree(source, next); });
        const bench::Figures other = bench::MeasureAfter(1, freshTarget, [&] {
            std::system((command + kQuote + next + kQuote + kQuiet).c_str());
        });
        if (i > 0) {
            oursMs.push_back(one.medianMs);
            systemMs.push_back(other.medianMs);
        }
    }
    const bench::Figures ours = bench::Summarise(oursMs);
    const bench::Figures system = bench::Summarise(systemMs);
    bench::Print("CopyFolderTree", ours);
    bench::Print(name, system, "includes starting the shell");
    const bench::Figures shell = bench::MeasureAfter(
        runs, [] {}, [&] { std::system(emptyCommand); });
    bench::Print("starting the shell alone", shell);
    std::printf("CopyFolderTree / (copy command - shell start) = %.2f\n",
                ours.medianMs / (system.medianMs - shell.medianMs));
    int deleted = 0;
    bench::Print("DeleteFolderTree",
                 bench::MeasureAfter(
                     runs, [] {}, [&] { DeleteFolderTree(target + std::to_string(deleted++)); }));
    DeleteFolderTree(root);
    return 0;
}
