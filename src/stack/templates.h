// Configuration templates: the server configuration files and the site's additional files are
// written from templates in which placeholders such as %RMHUB:PORT% stand for this run's folders
// and ports.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "config/settings.h"
#include "stack/runtime.h"
#include "stack/stack_state.h"

// Placeholder and value, in the order in which they are replaced on every line.
using Placeholders = std::vector<std::pair<std::string, std::string>>;

// Every non-overlapping occurrence of `token` (exact case), left to right, in one pass.
std::string ReplaceExact(const std::string& text, const std::string& token,
                         const std::string& value);

// Writes `output` from `input` line by line, each line read in pieces of at most 4,095
// characters with the placeholders replaced in order; so a placeholder that a piece boundary
// cuts stays as it is. Both files are opened in text mode, so Windows line ends stay Windows line
// ends. False, with nothing written, when either file cannot be opened or the input is not a
// file; false also when reading or writing fails, the output then being incomplete.
bool ExpandTemplate(const std::string& input, const std::string& output,
                    const Placeholders& placeholders);

// `name` when it holds a drive (Windows) or is an absolute path (Linux); otherwise base + name.
// No separator is added or removed.
std::string ResolveDocumentRoot(const std::string& base, const std::string& name);

// The database server's address in "my.ini": 127.0.0.1, or this machine's first address when
// `mySQLMode` is set.
std::string MySqlAddress(bool mySQLMode);

// The placeholders of each kind of file, in their order of replacement.
Placeholders AdditionalFilePlaceholders(const RunValues& run);
Placeholders HttpdConfPlaceholders(const RunValues& run);
// Folder values doubled ("\" written "\\"), as the database server reads them; %RMHUB:MYSQLIP% is
// replaced here only.
Placeholders MyIniPlaceholders(const RunValues& run, const std::string& mySqlAddress);
Placeholders PhpIniPlaceholders(const RunValues& run);

// Where the three produced files go: the runtime folder, or with startLocal 1 the servers' own
// folders beside the executable. Each ends with a separator.
struct ConfigFolders {
    std::string httpdConf;
    std::string myIni;
    std::string phpIni;
};
ConfigFolders ConfigOutputFolders(const AppSettings& settings, const RunValues& run);

// Writes "httpd.conf", "my.ini" and "php.ini" from their templates; a missing template (or a
// folder in its place) or an output that cannot be written is skipped, and only the trace says
// so. Returns the output folders.
ConfigFolders ProduceConfigFiles(const AppSettings& settings, const RunValues& run,
                                 const std::string& mySqlAddress);

// Where a site file's original goes while the file is expanded: F + ".bak" when no file of that
// name exists, else the first free name of F + ".trh-bak", F + ".trh-bak2", ... A ".bak" that is
// there already belongs to the site's author (a run's own backups are put back at its stop, or by
// the next start's recovery, before any new run expands the file): it is never overwritten.
std::string FreeBackupName(const std::string& file);

// Expands each additional file in place after keeping its original under FreeBackupName,
// written down in the run's journal first and flushed to the disk before the file is rewritten.
// A file that cannot be rewritten, or whose backup cannot be made, stays as it is without a
// backup of this run; the trace says so. Returns the files expanded and their backups.
std::vector<ExpandedFile> ExpandAdditionalFiles(const AppSettings& settings, const RunValues& run);

// Puts an expanded file back from its backup and deletes the backup. True when the file holds
// its original again, or there is no backup to put back; false, with the backup kept so that the
// original is not lost, when it could not be copied back (or is no file).
bool RestoreAdditionalFile(const ExpandedFile& expanded);
