#include "stack/runtime.h"

#include "stack/stack_trace.h"
#include "sys/files.h"
#include "sys/folders.h"
#include "sys/trace.h"
#include "trailhost_version.h"

namespace {

const std::string kSep(1, kPathSeparator);

#ifdef _WIN32
constexpr char kPathListSeparator = ';';
#else
constexpr char kPathListSeparator = ':';
#endif

}  // namespace

std::string RuntimeFolderName(const std::string& tempFolder, unsigned long processId) {
    const std::string joined = tempFolder + kSep + "Trailhost_" + std::to_string(processId) + kSep;
    std::string result;
    size_t i = 0;
    if (kPathSeparator == '\\' && joined.compare(0, 2, "\\\\") == 0) {
        // A network path begins with two separators; they stay.
        result = "\\\\";
        i = 2;
    }
    const size_t kept = result.size();
    for (; i < joined.size(); ++i) {
        if (joined[i] == kPathSeparator && result.size() > kept &&
            result.back() == kPathSeparator) {
            continue;
        }
        result += joined[i];
    }
    return result;
}

std::string ChooseRuntimeFolder(const std::string& tempFolder, unsigned long processId) {
    constexpr int kAlternatives = 100;
    const std::string first = RuntimeFolderName(tempFolder, processId);
    const std::string base = first.substr(0, first.size() - 1);
    for (int n = 0; n <= kAlternatives; ++n) {
        const std::string folder = n == 0 ? first : base + "_" + std::to_string(n) + kSep;
        const FolderClaim claim = ClaimOf(folder);
        if (claim == FolderClaim::kFree || claim == FolderClaim::kOurs) {
            if (n > 0) {
                TraceLog(kStackTracePath, "Runtime folder %s is not ours, using %s\n",
                         first.c_str(), folder.c_str());
            }
            return folder;
        }
    }
    return first;
}

std::string SessionFolderName(const std::string& runtimeFolder) {
    return runtimeFolder + "session";
}

void CreateRuntimeFolders(const std::string& runtimeFolder, bool hidden) {
    // The run goes on without them; what it would have written there is left out later.
    for (const std::string& folder : {runtimeFolder, SessionFolderName(runtimeFolder)}) {
        if (!CreateFolderPath(folder, hidden)) {
            TraceLog(kStackTracePath, "Runtime folder not created: %s\n", folder.c_str());
        }
    }
}

EnvironmentList StackEnvironment(const AppSettings& settings, const RunValues& run,
                                 const std::string& oldPath) {
    std::string edition = "PS";
    if (PathExists(run.appFolder + NativeSeparators(settings.pathToMySqlBin))) {
        edition += "M";
    }
    if (PathExists(run.appFolder + "server" + kSep + "perl2")) {
        edition += "P";
    }
    const std::string phprc = settings.startLocal == 0
                                  ? run.runtimeFolder
                                  : run.exeFolder + kSep + "server" + kSep + "php";
    const std::string webPort = std::to_string(run.webPort);

    std::string path = run.appFolder + "server" + kSep + "Perl2" + kSep + "Apache" + kSep +
                       kPathListSeparator + run.appFolder + "server" + kSep + "Perl2" + kSep +
                       "bin" + kSep + kPathListSeparator;
#ifdef _WIN32
    // An empty element between the Perl and PHP folders, as the launcher always had.
    path += kPathListSeparator;
#endif
    path += run.appFolder + "server" + kSep + "php" + kSep;
#ifdef _WIN32
    path += kPathListSeparator + oldPath;
#else
    // An empty element would mean the current folder here.
    if (!oldPath.empty()) {
        path += kPathListSeparator + oldPath;
    }
#endif

    return {
        {"TRH_EDITION", edition},
        {"PHPRC", phprc},
        {"TRH_SERVER_SOFTWARE", "Trailhost " TRAILHOST_VERSION},
        {"TRH_SERVER_APPROOT", run.exeFolder},
        {"TRH_SERVER_DOCROOT", run.exeFolder + NativeSeparators(run.docRootName)},
        {"TRH_DB_PATH", run.dbFolder},
        {"TRH_TEMP_FOLDER", run.runtimeFolder},
        {"TRH_APACHE_PORT", webPort},
        {"TRH_BASE_URL", "http://" + run.hostName + ":" + webPort},
        {"TRH_MYSQL_PORT", std::to_string(run.mySqlPort)},
        {"PATH", path},
    };
}

void SetStackEnvironment(const AppSettings& settings, const RunValues& run) {
    for (const auto& [name, value] : StackEnvironment(settings, run, GetEnvironmentValue("PATH"))) {
        SetEnvironmentValue(name, value);
    }
}
