#include "stack/db_staging.h"

#include <cstdio>

#include "stack/archive_cipher.h"
#include "stack/stack_trace.h"
#include "stack/zip_reader.h"
#include "sys/files.h"
#include "sys/folders.h"
#include "sys/trace.h"

#ifdef _WIN32
#include <direct.h>
#else
#include <unistd.h>
#endif

namespace {

const std::string kSep(1, kPathSeparator);

// The folder part of a path (up to and including its last separator).
std::string FolderOf(const std::string& path) {
    const size_t at = path.find_last_of(kSep);
    return at == std::string::npos ? "" : path.substr(0, at + 1);
}

// Removes the folder when it is empty; a filled one stays.
void RemoveIfEmpty(const std::string& folder) {
    std::string path = folder;
    if (path.size() > 1 && path.back() == kPathSeparator) {
        path.pop_back();
    }
#ifdef _WIN32
    _rmdir(path.c_str());
#else
    rmdir(path.c_str());
#endif
}

// CopyFolderTree; a source that is not there counts as copied, as it leaves nothing out.
bool CopyAllThatIsThere(const std::string& source, const std::string& target) {
    return CopyFolderTree(source, target) || !PathExists(source);
}

void CopyIntoMirror(const AppSettings& settings, const std::string& appFolder,
                    const std::string& mirror) {
    if (!CreateFolderPath(mirror, settings.hideMirrorFolder)) {
        TraceLog(kStackTracePath, "Database mirror not created: %s\n", mirror.c_str());
    }
    // The database server's own system tables, then the site's data into the mirror itself.
    const bool systemTables = CopyAllThatIsThere(
        appFolder + NativeSeparators(settings.pathToMySqlData) + kSep + "mysql" + kSep,
        mirror + "mysql");
    const bool siteData = CopyAllThatIsThere(appFolder + "dbdir" + kSep, mirror);
    if (!systemTables || !siteData) {
        TraceLog(kStackTracePath, "Database mirror incomplete: %s\n", mirror.c_str());
    }
}

}  // namespace

std::string UnpackFolderName(const std::string& runtimeFolder) {
    return runtimeFolder + "encdb" + kSep;
}

int UnpackArchive(const std::string& zipPath, const std::string& folder) {
    ZipReader zip;
    if (!zip.Open(zipPath)) {
        return 0;
    }
    int written = 0;
    for (int i = 0; i < zip.Count(); ++i) {
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
                          const std::string& runtimeFolder, const std::string& passPhrase) {
    const std::string defaultFolder = appFolder + "dbdir" + kSep;
    const std::string archive = appFolder + "dbdir.aes";
    if (PathExists(archive)) {
        const std::string unpackFolder = UnpackFolderName(runtimeFolder);
        CreateFolderPath(unpackFolder, true);
        // A wrong pass phrase is not detected here: it gives a zip file that does not open.
        if (!DecryptArchive(passPhrase, archive, unpackFolder + "dbdir.zip")) {
            TraceLog(kStackTracePath, "Encrypted database not decrypted: %s\n", archive.c_str());
        }
        // The temporary folder may be given in 8.3 form.
        const std::string zipPath = LongPathName(unpackFolder + "dbdir.zip");
        if (UnpackArchive(zipPath, unpackFolder) == 0) {
            TraceLog(kStackTracePath, "Encrypted database not unpacked into %s\n",
                     unpackFolder.c_str());
        }
        std::remove(zipPath.c_str());
        // The unpacked data folder, written as the launcher has always named it (with the
        // runtime folder's separator doubled).
        return runtimeFolder + kSep + "encdb" + kSep + "dbdir" + kSep;
    }
    if (settings.localMirror) {
        const std::string mirror = settings.mirrorFolder.empty()
                                       ? runtimeFolder + "database" + kSep
                                       : NativeSeparators(settings.mirrorFolder);
        if (!PathExists(mirror)) {
            CopyIntoMirror(settings, appFolder, mirror);
        } else if (settings.overwriteLocalMirror) {
            RemoveIfEmpty(mirror);
            CopyIntoMirror(settings, appFolder, mirror);
        }
        return mirror;
    }
    return defaultFolder;
}
