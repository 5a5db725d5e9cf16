#include "sys/files.h"

#include "sys/files_detail.h"

using files_detail::IsSeparator;
using files_detail::MakeFolderResult;

bool CreateFolderPath(const std::string& path, bool hidden) {
    constexpr int kAttempts = 10;
    std::string work = path;
    const size_t end = work.size();
    // The folder being tried is work[0, cursor); the missing levels are found by cutting the
    // path back one separator at a time, then made again going forward.
    size_t cursor = end;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::string current = work.substr(0, cursor);
        const MakeFolderResult result = files_detail::MakeOneFolder(current);
        if (result == MakeFolderResult::kParentMissing) {
            size_t cut = cursor;
            while (cut > 0 && !IsSeparator(work[cut - 1])) {
                --cut;
            }
            if (cut == 0) {
                return false;
            }
            cursor = cut - 1;
            continue;
        }
        if (result == MakeFolderResult::kFailed) {
            return false;
        }
        files_detail::SetFolderHidden(current, hidden);
        if (cursor == end) {
            return true;
        }
        size_t next = cursor + 1;
        while (next < end && !IsSeparator(work[next])) {
            ++next;
        }
        cursor = next;
    }
    return false;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    UniqueFile file = OpenFile(path, "wb");
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
        return false;
    }
    return std::fclose(file.release()) == 0;
}
