#include "stack/db_staging.h"

#include <cstdio>
#include <limits>

#include "stack/archive_cipher.h"
#include "stack/run_journal.h"
#include "stack/stack_trace.h"
#include "stack/zip_reader.h"
#include "sys/folders.h"
#include "sys/protected_folders.h"
#include "sys/trace.h"

namespace {

// What a file takes on the disk beyond its bytes, at most: its last cluster and its entry.
constexpr std::uint64_t kPerFileOverhead = 8192;
constexpr std::uint64_t kUnknown = std::numeric_limits<std::uint64_t>::max();

bool Cancelled(const CancelCheck& cancelled) {
    return cancelled && cancelled();
}

// The folder part of a path (up to and including its last separator).
std::string FolderOf(const std::string& path) {
    const size_t at = path.find_last_of(kSep);
    return at == std::string::npos ? "" : path.substr(0, at + 1);
}

std::string WithSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != kPathSeparator && folder.back() != '/') {
        folder += kPathSeparator;
    }
    return folder;
}

// CopyFolderTree; a source that is not there counts as copied, as it leaves nothing out.
bool CopyAllThatIsThere(const std::string& source, const std::string& target,
                        const CancelCheck& cancelled) {
    return CopyFolderTree(source, target, cancelled) ||
           (!PathExists(source) && !Cancelled(cancelled));
}

// Deletes a folder that the staging made, unless it is protected.
void DeleteMirror(const std::string& mirror, const std::string& stackFolder) {
    if (IsProtectedOnThisMachine(mirror, stackFolder)) {
        TraceLog(kStackTracePath, "Database mirror not deleted, it is a protected folder: %s\n",
                 mirror.c_str());
        return;
    }
    DeleteFolderTree(mirror);
}

// A fresh copy of the database in the mirror: what an older copy held goes first, so that files
// that exist only in the old mirror do not stay beside the new ones.
void CopyIntoMirror(const AppSettings& settings, const std::string& appFolder,
                    const std::string& runtimeFolder, const std::string& mirror,
                    const CancelCheck& cancelled) {
    const bool deleteAtEnd = settings.deleteDatabaseFiles && !settings.mirrorFolder.empty();
    RecordInJournal(runtimeFolder, journal::kMirror, {mirror, deleteAtEnd ? "1" : "0"});
    if (PathExists(mirror)) {
        DeleteMirror(mirror, appFolder);
    }
    if (!CreateFolderPath(mirror, settings.hideMirrorFolder)) {
        TraceLog(kStackTracePath, "Database mirror not created: %s\n", mirror.c_str());
    }
    // The database server's own system tables, then the site's data into the mirror itself.
    const bool systemTables = CopyAllThatIsThere(
        appFolder + NativeSeparators(settings.pathToMySqlData) + kSep + "mysql" + kSep,
        mirror + "mysql", cancelled);
    const bool siteData = CopyAllThatIsThere(appFolder + "dbdir" + kSep, mirror, cancelled);
    if (Cancelled(cancelled)) {
        TraceLog(kStackTracePath, "Database mirror broken off by the stop: %s\n", mirror.c_str());
        DeleteMirror(mirror, appFolder);
    } else if (!systemTables || !siteData) {
        TraceLog(kStackTracePath, "Database mirror incomplete: %s\n", mirror.c_str());
    }
}

// The disk space that writing the items below `folder` takes at most; the items that will not
// be written (unsafe names) count for nothing.
std::uint64_t SpaceNeeded(const ZipReader& zip) {
    std::uint64_t needed = 0;
    for (int i = 0; i < zip.Count(); ++i) {
        if (IsSafeItemName(zip.Name(i))) {
            needed += zip.Size(i) + kPerFileOverhead;
        }
    }
    return needed;
}

}  // namespace

std::string UnpackFolderName(const std::string& runtimeFolder) {
    return runtimeFolder + "encdb" + kSep;
}

std::string MirrorFolderOf(const AppSettings& settings, const std::string& runtimeFolder) {
    return settings.mirrorFolder.empty() ? runtimeFolder + "database" + kSep
                                         : WithSeparator(NativeSeparators(settings.mirrorFolder));
}

int UnpackArchive(const std::string& zipPath, const std::string& folder,
                  const UnpackOptions& options) {
    ZipReader zip;
    if (!zip.Open(zipPath)) {
        return 0;
    }
    // Free space that cannot be found out does not hold the unpack up.
    const std::uint64_t free =
        options.freeSpace ? options.freeSpace(folder).value_or(kUnknown) : kUnknown;
    const std::uint64_t needed = SpaceNeeded(zip);
    if (free != kUnknown && needed + kUnpackSpareBytes > free) {
        TraceLog(kStackTracePath,
                 "Database not unpacked, it needs %llu bytes and %llu are free: %s\n",
                 static_cast<unsigned long long>(needed), static_cast<unsigned long long>(free),
                 folder.c_str());
        return 0;
    }
    int written = 0;
    for (int i = 0; i < zip.Count(); ++i) {
        if (Cancelled(options.cancelled)) {
            TraceLog(kStackTracePath, "Database unpacking broken off by the stop\n");
            break;
        }
        const std::string& name = zip.Name(i);
        if (!IsSafeItemName(name)) {
            continue;
        }
        std::string relative = name;
        for (char& c : relative) {
            if (c == '/' || c == '\\') {
                c = kPathSeparator;
            }
        }
        const std::string target = folder + relative;
        // An item of the archive's own name would be written over the archive being read.
        if (SamePath(target, zipPath)) {
            TraceLog(kStackTracePath, "Database file not unpacked, it is the archive: %s\n",
                     target.c_str());
            continue;
        }
        CreateFolders(FolderOf(target));
        if (zip.Extract(i, target)) {
            ++written;
        } else {
            TraceLog(kStackTracePath, "Database file not unpacked: %s\n", target.c_str());
        }
    }
    return written;
}

std::string StageDatabase(const AppSettings& settings, const std::string& appFolder,
                          const std::string& runtimeFolder, const std::string& passPhrase,
                          const CancelCheck& cancelled) {
    const std::string defaultFolder = appFolder + "dbdir" + kSep;
    const std::string archive = appFolder + "dbdir.aes";
    if (PathExists(archive)) {
        const std::string unpackFolder = UnpackFolderName(runtimeFolder);
        CreateFolderPath(unpackFolder, true);
        // The decrypted data are for this user alone.
        MakeFolderPrivate(unpackFolder);
        // A wrong pass phrase is not detected here: it gives a zip file that does not open.
        if (!DecryptArchive(passPhrase, archive, unpackFolder + "dbdir.zip", cancelled)) {
            TraceLog(kStackTracePath, "Encrypted database not decrypted: %s\n", archive.c_str());
        }
        // The temporary folder may be given in 8.3 form.
        const std::string zipPath = LongPathName(unpackFolder + "dbdir.zip");
        UnpackOptions options;
        options.cancelled = cancelled;
        if (!Cancelled(cancelled) && UnpackArchive(zipPath, unpackFolder, options) == 0) {
            TraceLog(kStackTracePath, "Encrypted database not unpacked into %s\n",
                     unpackFolder.c_str());
        }
        std::remove(zipPath.c_str());
        // The unpacked data folder, written as the launcher has always named it (with the
        // runtime folder's separator doubled).
        return runtimeFolder + kSep + "encdb" + kSep + "dbdir" + kSep;
    }
    if (settings.localMirror) {
        const std::string mirror = MirrorFolderOf(settings, runtimeFolder);
        if (!PathExists(mirror) || settings.overwriteLocalMirror) {
            CopyIntoMirror(settings, appFolder, runtimeFolder, mirror, cancelled);
        }
        return mirror;
    }
    return defaultFolder;
}

bool DeleteRecordedMirrors(const std::vector<JournalEntry>& entries,
                           const std::string& stackFolder) {
    bool gone = true;
    for (const JournalEntry& entry : entries) {
        if (entry.kind != journal::kMirror || entry.fields.size() < 2 || entry.fields[1] != "1") {
            continue;
        }
        const std::string& mirror = entry.fields[0];
        if (PathExists(mirror)) {
            DeleteMirror(mirror, stackFolder);
        }
        if (PathExists(mirror)) {
            TraceLog(kStackTracePath, "Database mirror not deleted: %s\n", mirror.c_str());
            gone = false;
        }
    }
    return gone;
}
