#include "stack/runtime.h"

#include <chrono>
#include <cstdint>
#include <random>

#include "stack/stack_trace.h"
#include "sys/environment.h"
#include "sys/files.h"
#include "sys/folders.h"
#include "sys/trace.h"
#include "trailhost_version.h"

namespace {

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

std::string CreateRuntimeFolder(const std::string& tempFolder, unsigned long processId,
                                bool hidden) {
    constexpr int kAttempts = 100;
    const std::string first = RuntimeFolderName(tempFolder, processId);
    const std::string base = first.substr(0, first.size() - 1);
    if (!PathExists(tempFolder)) {
        CreateFolders(tempFolder);
    }
    std::random_device entropy;
    std::mt19937 pick(entropy() ^ static_cast<std::uint32_t>(
                                      std::chrono::steady_clock::now().time_since_epoch().count()));
    std::uniform_int_distribution<std::uint32_t> number(1, 999999999);
    for (int attempt = 0; attempt <= kAttempts; ++attempt) {
        const std::string folder =
            attempt == 0 ? first : base + "_" + std::to_string(number(pick)) + kSep;
        switch (CreatePrivateFolder(folder, hidden)) {
            case NewFolder::kCreated:
                if (attempt > 0) {
                    TraceLog(kStackTracePath, "Runtime folder %s is taken, using %s\n",
                             first.c_str(), folder.c_str());
                }
                if (!CreateFolderPath(SessionFolderName(folder), hidden)) {
                    TraceLog(kStackTracePath, "Session folder not created in %s\n", folder.c_str());
                }
                return folder;
            case NewFolder::kTaken:
                continue;
            case NewFolder::kFailed:
                break;
        }
        break;
    }
    TraceLog(kStackTracePath, "No runtime folder could be made in %s\n", tempFolder.c_str());
    return "";
}

std::string SessionFolderName(const std::string& runtimeFolder) {
    return runtimeFolder + "session";
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
