// The per-run folder under the temporary folder, and the environment that the servers and the
// site's scripts inherit.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "config/settings.h"

// What the start sequence has worked out by the time it fills in the templates and the
// environment. Folders end with a separator.
struct RunValues {
    std::string exeFolder;      // the executable's folder
    std::string appFolder;      // the same folder as the stack sees it (drive and directory)
    std::string runtimeFolder;  // the per-run folder
    std::string dbFolder;       // where the database files are for this run
    std::string docRootName;    // defaultRoot, or "htdocs" when that is empty
    std::string hostName;       // after the hosts-file step
    int webPort = 0;
    int mySqlPort = 0;  // the database port chosen for this run
};

// temporary folder + separator + "Trailhost_<pid>" + separator, with doubled separators
// collapsed (a network path keeps its leading pair).
std::string RuntimeFolderName(const std::string& tempFolder, unsigned long processId);

// Makes this run's runtime folder under `tempFolder`, new and this user's alone (see
// CreatePrivateFolder), with its "session" sub-folder: RuntimeFolderName when that name is free,
// else "Trailhost_<pid>_<n>/" with a random n, so that nobody can take every name beforehand. A
// name that exists is never used, whoever holds it: a folder of another user, a link, or a folder
// of an earlier run with its journal. Empty when no folder could be made; nothing was written
// anywhere then.
std::string CreateRuntimeFolder(const std::string& tempFolder, unsigned long processId,
                                bool hidden);

// The runtime folder's "session" sub-folder, for the site's scripts; no trailing separator.
std::string SessionFolderName(const std::string& runtimeFolder);

using EnvironmentList = std::vector<std::pair<std::string, std::string>>;

// The eleven variables for the servers, in the order they are set: TRH_EDITION, PHPRC,
// TRH_SERVER_SOFTWARE, TRH_SERVER_APPROOT, TRH_SERVER_DOCROOT, TRH_DB_PATH, TRH_TEMP_FOLDER,
// TRH_APACHE_PORT, TRH_BASE_URL, TRH_MYSQL_PORT and PATH, whose old value `oldPath` goes last.
// TRH_EDITION looks at the file system for the database programs and the Perl folder.
EnvironmentList StackEnvironment(const AppSettings& settings, const RunValues& run,
                                 const std::string& oldPath);

// Sets the list in this process's environment, in its order, so that every child started
// afterwards inherits it; PATH's old value is read whole, however long.
void SetStackEnvironment(const AppSettings& settings, const RunValues& run);
