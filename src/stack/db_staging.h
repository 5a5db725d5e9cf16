// Database staging: where the database files live for this run. Tried in this order: the
// encrypted archive "dbdir.aes" beside the executable, unpacked into the runtime folder; a
// writable mirror copy of the data folders; the data folder "dbdir" as it is.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "config/settings.h"
#include "sys/files.h"

struct JournalEntry;

// Stages the database and returns the folder it is in (dbFolder), ending with a separator.
// `passPhrase` opens the archive (ArchivePassPhrase() in the launcher). Only the trace reports
// failures: a wrong pass phrase, a damaged archive or a full disk leaves the unpacked data folder
// empty or partial, a mirror that cannot be made or filled stays partial, and the start goes on.
// `cancelled` is asked between files: a stop that comes meanwhile ends the staging early, and a
// mirror copy that was broken off is removed again, so that no later run takes it for whole.
// A mirror about to be filled is written down in the run's journal first.
std::string StageDatabase(const AppSettings& settings, const std::string& appFolder,
                          const std::string& runtimeFolder, const std::string& passPhrase,
                          const CancelCheck& cancelled = nullptr);

// The folder the archive is unpacked into: runtime folder + "encdb" + separator.
std::string UnpackFolderName(const std::string& runtimeFolder);

// The mirror folder of the settings, with a trailing separator: the configured one, or the
// runtime folder's "database" folder when none is configured.
std::string MirrorFolderOf(const AppSettings& settings, const std::string& runtimeFolder);

// Room an unpack leaves free on its disk beyond what its items take: the database grows while it
// runs, and the run writes its logs beside it.
constexpr std::uint64_t kUnpackSpareBytes = 16u * 1024 * 1024;

struct UnpackOptions {
    // Asked before each item; true ends the unpack there.
    CancelCheck cancelled;
    // The free bytes of the disk that holds a folder.
    std::function<std::optional<std::uint64_t>(const std::string&)> freeSpace = FreeDiskSpace;
};

// Unpacks every item of a zip archive below `folder`; items whose names would lead outside it
// are skipped. Returns the number of items written; 0 when the archive cannot be read, or when
// its items would not leave kUnpackSpareBytes free on the folder's disk (nothing is written
// then).
int UnpackArchive(const std::string& zipPath, const std::string& folder,
                  const UnpackOptions& options = {});

// Deletes the mirror folders that the journal's entries say this stack filled and its run was
// to delete at its end (DeleteDatabaseFiles), unless a folder is protected (IsProtectedFolder;
// `stackFolder` is the stack's). False when one of them is still there afterwards.
bool DeleteRecordedMirrors(const std::vector<JournalEntry>& entries,
                           const std::string& stackFolder);
