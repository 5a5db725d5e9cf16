// Database staging: where the database files live for this run. Tried in this order: the
// encrypted archive "dbdir.aes" beside the executable, unpacked into the runtime folder; a
// writable mirror copy of the data folders; the data folder "dbdir" as it is.
#pragma once

#include <string>

#include "config/settings.h"

// Stages the database and returns the folder it is in (dbFolder), ending with a separator.
// `passPhrase` opens the archive (ArchivePassPhrase() in the launcher). Only the trace reports
// failures: a wrong pass phrase, a damaged archive or a full disk leaves the unpacked data folder
// empty or partial, a mirror that cannot be made or filled stays partial, and the start goes on.
std::string StageDatabase(const AppSettings& settings, const std::string& appFolder,
                          const std::string& runtimeFolder, const std::string& passPhrase);

// The folder the archive is unpacked into: runtime folder + "encdb" + separator.
std::string UnpackFolderName(const std::string& runtimeFolder);

// Unpacks every item of a zip archive below `folder`; items whose names would lead outside it
// are skipped. Returns the number of items written; 0 when the archive cannot be read.
int UnpackArchive(const std::string& zipPath, const std::string& folder);
