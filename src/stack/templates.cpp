#include "stack/templates.h"

#include <cstdio>
#include <cstring>

#include "stack/run_journal.h"
#include "stack/stack_trace.h"
#include "sys/files.h"
#include "sys/folders.h"
#include "sys/trace.h"

namespace {

constexpr int kLineBuffer = 4096;

std::string Doubled(const std::string& folder) {
    return ReplaceExact(folder, "\\", "\\\\");
}

std::string DocumentRoot(const RunValues& run) {
    return ResolveDocumentRoot(run.exeFolder, NativeSeparators(run.docRootName));
}

// A produced file that cannot be written is left out, and the trace says which.
void ProduceFile(const std::string& input, const std::string& output,
                 const Placeholders& placeholders) {
    if (!ExpandTemplate(input, output, placeholders)) {
        TraceLog(kStackTracePath, "Configuration file not written: %s from %s\n", output.c_str(),
                 input.c_str());
    }
}

// Whether the file is there and may be written, found without changing it.
bool CanRewrite(const std::string& path) {
    UniqueFile file = OpenFile(path, "r+");
    return file && IsFileStream(file.get());
}

}  // namespace

std::string ReplaceExact(const std::string& text, const std::string& token,
                         const std::string& value) {
    if (token.empty()) {
        return text;
    }
    std::string result;
    size_t from = 0;
    for (;;) {
        const size_t at = text.find(token, from);
        if (at == std::string::npos) {
            result.append(text, from, std::string::npos);
            return result;
        }
        result.append(text, from, at - from);
        result += value;
        from = at + token.size();
    }
}

bool ExpandTemplate(const std::string& input, const std::string& output,
                    const Placeholders& placeholders) {
    UniqueFile in = OpenFile(input, "r");
    // A folder in the template's place must not get as far as emptying the output: for an
    // additional file that output is the site's own file.
    if (!in || !IsFileStream(in.get())) {
        return false;
    }
    UniqueFile out = OpenFile(output, "w+");
    if (!out) {
        return false;
    }
    bool written = true;
    char buffer[kLineBuffer];
    for (;;) {
        std::memset(buffer, 0, sizeof(buffer));
        if (std::fgets(buffer, sizeof(buffer), in.get()) == nullptr) {
            break;
        }
        std::string line = buffer;
        for (const auto& [token, value] : placeholders) {
            line = ReplaceExact(line, token, value);
        }
        written = std::fputs(line.c_str(), out.get()) >= 0 && written;
    }
    // A full disk shows only here, when the last buffered lines are written out.
    written = std::fclose(out.release()) == 0 && written;
    return written && !std::ferror(in.get());
}

std::string ResolveDocumentRoot(const std::string& base, const std::string& name) {
#ifdef _WIN32
    const bool absolute = name.size() >= 2 && name[1] == ':';
#else
    const bool absolute = !name.empty() && name[0] == '/';
#endif
    return absolute ? name : base + name;
}

std::string MySqlAddress(bool mySQLMode) {
    if (!mySQLMode) {
        return "127.0.0.1";
    }
    return GetLocalIpAddress(0);
}

Placeholders AdditionalFilePlaceholders(const RunValues& run) {
    return {
        {"%RMHUB:PORT%", std::to_string(run.webPort)},
        {"%RMHUB:HOST%", run.hostName},
        {"%RMHUB:SRVDIR%", run.appFolder + "server" + kSep},
        {"%RMHUB:BASEDIR%", run.appFolder},
        {"%RMHUB:RTDIR%", run.runtimeFolder},
        {"%RMHUB:DBDIR%", run.dbFolder},
        {"%RMHUB:DOCROOT%", DocumentRoot(run)},
        {"%RMHUB:MYSQLPRT%", std::to_string(run.mySqlPort)},
    };
}

Placeholders HttpdConfPlaceholders(const RunValues& run) {
    return AdditionalFilePlaceholders(run);
}

Placeholders MyIniPlaceholders(const RunValues& run, const std::string& mySqlAddress) {
    return {
        {"%RMHUB:SRVDIR%", Doubled(run.appFolder) + "server" + kSep},
        {"%RMHUB:BASEDIR%", Doubled(run.appFolder)},
        {"%RMHUB:RTDIR%", Doubled(run.runtimeFolder)},
        {"%RMHUB:MYSQLIP%", mySqlAddress},
        {"%RMHUB:DBDIR%", Doubled(run.dbFolder)},
        {"%RMHUB:DOCROOT%", Doubled(DocumentRoot(run))},
        {"%RMHUB:MYSQLPRT%", std::to_string(run.mySqlPort)},
        {"%RMHUB:PORT%", std::to_string(run.webPort)},
        {"%RMHUB:HOST%", run.hostName},
    };
}

Placeholders PhpIniPlaceholders(const RunValues& run) {
    return {
        {"%RMHUB:SRVDIR%", run.appFolder + "server" + kSep},
        {"%RMHUB:BASEDIR%", run.appFolder},
        {"%RMHUB:RTDIR%", run.runtimeFolder},
        {"%RMHUB:MYSQLPRT%", std::to_string(run.mySqlPort)},
        {"%RMHUB:DBDIR%", run.dbFolder},
        {"%RMHUB:DOCROOT%", DocumentRoot(run)},
        {"%RMHUB:PORT%", std::to_string(run.webPort)},
        {"%RMHUB:HOST%", run.hostName},
    };
}

ConfigFolders ConfigOutputFolders(const AppSettings& settings, const RunValues& run) {
    if (settings.startLocal != 1) {
        return {run.runtimeFolder, run.runtimeFolder, run.runtimeFolder};
    }
    const std::string server = run.exeFolder + kSep + "server" + kSep;
    return {server + "apache" + kSep + "conf" + kSep, server + "mysql" + kSep,
            server + "php" + kSep};
}

ConfigFolders ProduceConfigFiles(const AppSettings& settings, const RunValues& run,
                                 const std::string& mySqlAddress) {
    const ConfigFolders folders = ConfigOutputFolders(settings, run);
    ProduceFile(run.appFolder + NativeSeparators(settings.pathToHttpdConf),
                folders.httpdConf + "httpd.conf", HttpdConfPlaceholders(run));
    ProduceFile(run.appFolder + NativeSeparators(settings.pathToMyIni), folders.myIni + "my.ini",
                MyIniPlaceholders(run, mySqlAddress));
    ProduceFile(run.appFolder + NativeSeparators(settings.pathToPhpIni), folders.phpIni + "php.ini",
                PhpIniPlaceholders(run));
    return folders;
}

std::string FreeBackupName(const std::string& file) {
    if (!PathExists(file + ".bak")) {
        return file + ".bak";
    }
    std::string name = file + ".trh-bak";
    for (int n = 2; PathExists(name); ++n) {
        name = file + ".trh-bak" + std::to_string(n);
    }
    return name;
}

std::vector<ExpandedFile> ExpandAdditionalFiles(const AppSettings& settings, const RunValues& run) {
    const Placeholders placeholders = AdditionalFilePlaceholders(run);
    std::vector<ExpandedFile> expanded;
    for (const std::string& entry : settings.additionalFiles) {
        if (entry.empty()) {
            continue;
        }
        const std::string file = run.appFolder + NativeSeparators(entry);
        // A file that cannot be rewritten (read-only, or a folder) gets no backup either: it
        // would stay on the medium for good.
        if (!CanRewrite(file)) {
            TraceLog(kStackTracePath, "Additional file not expanded, it cannot be written: %s\n",
                     file.c_str());
            continue;
        }
        const ExpandedFile backup{file, FreeBackupName(file)};
        RecordInJournal(run.runtimeFolder, journal::kFile, {backup.file, backup.backup});
        // The original must be on the disk before the file is rewritten: after a power cut the
        // next start puts it back.
        if (!CopyOneFile(file, backup.backup) || !FlushFileToDisk(backup.backup)) {
            // What a broken-off copy left (a full medium) must not be put back over the file.
            std::remove(backup.backup.c_str());
            TraceLog(kStackTracePath, "Additional file not expanded, no backup made: %s\n",
                     file.c_str());
            continue;
        }
        expanded.push_back(backup);
        if (!ExpandTemplate(backup.backup, file, placeholders)) {
            TraceLog(kStackTracePath, "Additional file not expanded from %s\n",
                     backup.backup.c_str());
        }
    }
    return expanded;
}

bool RestoreAdditionalFile(const ExpandedFile& expanded) {
    if (!PathExists(expanded.backup)) {
        return true;
    }
    if (CopyOneFile(expanded.backup, expanded.file) && FlushFileToDisk(expanded.file)) {
        std::remove(expanded.backup.c_str());
        return true;
    }
    TraceLog(kStackTracePath, "Additional file not restored, %s kept\n", expanded.backup.c_str());
    return false;
}
