#include "config/settings.h"

#include "config/ini_file.h"
#include "sys/folders.h"
#include "sys/text.h"

#include <algorithm>
#include <cctype>

namespace {

// Built-in program paths name the executable as the platform does.
#ifdef _WIN32
const std::string kExeSuffix = ".exe";
#else
const std::string kExeSuffix;
#endif

const char kServerNameToken[] = "{SERVER_NAME}";
const char kLocalIpToken[] = "{local_ip}";

// Every occurrence of `token` with exact case, left to right, in one pass.
std::string ReplaceExact(const std::string& text, const std::string& token,
                         const std::string& replacement) {
    std::string result;
    size_t from = 0;
    for (size_t at = text.find(token); at != std::string::npos; at = text.find(token, from)) {
        result.append(text, from, at - from);
        result += replacement;
        from = at + token.size();
    }
    result.append(text, from, std::string::npos);
    return result;
}

// The pieces between ';' that are not empty, untrimmed.
void AppendPieces(std::vector<std::string>& list, const std::string& text) {
    size_t from = 0;
    while (from <= text.size()) {
        size_t end = text.find(';', from);
        if (end == std::string::npos) {
            end = text.size();
        }
        if (end > from) {
            list.push_back(text.substr(from, end - from));
        }
        from = end + 1;
    }
}

// The values of `prefix`1 to `prefix``count`, empty ones included, so the list always has
// `count` entries.
std::vector<std::string> NumberedValues(const ZUL::CIniFile& ini, const std::string& section,
                                        const std::string& prefix, int count, bool paths) {
    std::vector<std::string> values;
    for (int i = 1; i <= count; ++i) {
        const std::string value = ini.GetString(prefix + std::to_string(i), "", section);
        values.push_back(paths ? NativeSeparators(value) : value);
    }
    return values;
}

}  // namespace

std::string ReplaceNoCase(const std::string& text, const std::string& token,
                          const std::string& replacement) {
    if (token.empty()) {
        return text;
    }
    const std::string lowerText = Lower(text);
    const std::string lowerToken = Lower(token);
    std::string result;
    size_t from = 0;
    for (size_t at = lowerText.find(lowerToken); at != std::string::npos;
         at = lowerText.find(lowerToken, from)) {
        result.append(text, from, at - from);
        result += replacement;
        from = at + token.size();
    }
    result.append(text, from, std::string::npos);
    return result;
}

std::string ExpandFolderPlaceholders(const std::string& text) {
    std::string result = ReplaceNoCase(text, "{PF}", GetSpecialFolderPath(kCsidlProgramFiles));
    result = ReplaceNoCase(result, "{WIN}", GetSpecialFolderPath(kCsidlWindows));
    result = ReplaceNoCase(result, "{MD}", GetSpecialFolderPath(kCsidlPersonal));
    return ReplaceNoCase(result, "{TMP}", GetTempFolder());
}

BrowserType BrowserTypeFromText(const std::string& text) {
    struct Name {
        const char* text;
        BrowserType type;
    };
    static const Name kNames[] = {
        {"", BrowserType::DEFAULT},
        {"default", BrowserType::DEFAULT},
        {"mozilla", BrowserType::MOZILLA},
        {"firefox", BrowserType::FIREFOX},
        {"iexplorer", BrowserType::IEXPLORER},
        {"external", BrowserType::EXTERNAL},
        {"none", BrowserType::NONE},
        {"portablefirefox", BrowserType::PORTABLEFIREFOX},
        {"chromium", BrowserType::CHROMIUM},
    };
    const std::string lower = Lower(text);
    for (const Name& name : kNames) {
        if (lower == name.text) {
            return name.type;
        }
    }
    return BrowserType{};
}

const std::vector<SettingKey>& SettingKeys() {
    static const std::vector<SettingKey> keys = [] {
        using K = SettingKind;
        std::vector<SettingKey> list = {
            {"http", "Port", K::kNumber},
            {"http", "HostName", K::kText},
            {"http", "PortMandantory", K::kBoolean},
            {"http", "PortMandantoryErrorMessage", K::kText},
            {"http", "DefaultFile", K::kText},
            {"http", "DefaultRoot", K::kPath},
            {"http", "DeleteHttpTemp", K::kBoolean},
            {"http", "HideTempFolder", K::kBoolean},
            {"Browser", "BrowserType", K::kText},
            {"Browser", "BrowserCmdOptions", K::kText},
            {"Browser", "BrowserPath", K::kPath},
            {"Browser", "WorkOfflineTitle", K::kText},
            {"Browser", "BrowserSize", K::kText},
            {"database", "UseMySQL", K::kBoolean},
            {"database", "MySQLPort", K::kNumber},
            {"database", "LocalMirror", K::kBoolean},
            {"database", "OverwriteLocalMirror", K::kBoolean},
            {"database", "MirrorFolder", K::kPath},
            {"database", "MySQLCmd", K::kText},
            {"database", "DeleteDatabaseFiles", K::kBoolean},
            {"database", "HideMirrorFolder", K::kBoolean},
            {"database", "MySQLMode", K::kBoolean},
            {"General", "ServerName", K::kText},
            {"General", "UseSplash", K::kPath},
            {"General", "ShowShutdownMessage", K::kText},
            {"General", "StartLocal", K::kNumber},
            {"General", "AllowOnlySingleInstance", K::kBoolean},
            {"General", "ShowStartupProgress", K::kBoolean},
            {"General", "KeepRunningAfterBrowserClose", K::kBoolean},
            {"General", "ShowTrayIcon", K::kBoolean},
            {"Path", "PathToApache", K::kPath},
            {"Path", "PathToMySqlBin", K::kPath},
            {"Path", "PathToMySqlData", K::kPath},
            {"Path", "PathToMySqlShare", K::kPath},
            {"Path", "PathToPhpIni", K::kPath},
            {"Path", "PathToHttpdConf", K::kPath},
            {"Path", "PathToMyIni", K::kPath},
        };
        // The numbered keys; their names outlive the list.
        static const std::vector<std::string> numbered = [] {
            std::vector<std::string> names;
            for (int i = 1; i <= 10; ++i) {
                names.push_back("File" + std::to_string(i));
            }
            for (const char* prefix : {"Startup", "Shutdown"}) {
                for (int i = 1; i <= 3; ++i) {
                    names.push_back(prefix + std::to_string(i));
                }
            }
            return names;
        }();
        for (size_t i = 0; i < numbered.size(); ++i) {
            list.push_back({i < 10 ? "AdditionalParsing" : "Startup", numbered[i].c_str(),
                            i < 10 ? K::kPath : K::kText});
        }
        return list;
    }();
    return keys;
}

void ReadSettings(AppSettings& s, const std::string& path) {
    const ZUL::CIniFile ini(path);
    const std::string http = "http";
    const std::string browser = "Browser";
    const std::string database = "database";
    const std::string general = "General";
    const std::string paths = "Path";

    s.port = ini.GetInt("Port", 7452, http);
    s.hostName = ini.GetString("HostName", kLocalIpToken, http);
    s.serverName = ini.GetString("ServerName", "Trailhost", general);
    s.portMandatory = ini.GetBool("PortMandantory", false, http);
    s.portMandatoryErrorMessage =
        ReplaceExact(ini.GetString("PortMandantoryErrorMessage",
                                   "Port is already in use. {SERVER_NAME} can't be started", http),
                     kServerNameToken, s.serverName);
    // Looking up the local address can wait for a name server, so only when it is asked for.
    if (s.hostName.find(kLocalIpToken) != std::string::npos) {
        s.hostName = ReplaceExact(s.hostName, kLocalIpToken, GetLocalIpAddress(0));
    }
    s.defaultFile = ini.GetString("DefaultFile", "index.php", http);
    s.defaultRoot = NativeSeparators(ini.GetString("DefaultRoot", "htdocs", http));
    s.deleteHttpTemp = ini.GetBool("DeleteHttpTemp", false, http);
    s.hideTempFolder = ini.GetBool("HideTempFolder", true, http);

    s.browserType = BrowserTypeFromText(ini.GetString("BrowserType", "", browser));
    s.browserCmdOptions = ini.GetString("BrowserCmdOptions", "", browser);
    s.browserPath = NativeSeparators(ini.GetString("BrowserPath", "", browser));
    s.workOfflineTitles = {"Work Offline", "Offline arbeiten", "Offlinebetrieb"};
    AppendPieces(s.workOfflineTitles, ini.GetString("WorkOfflineTitle", "", browser));
    s.browserSize = ini.GetString("BrowserSize", "", browser);

    s.useMySQL = ini.GetBool("UseMySQL", false, database);
    s.mySQLPort = ini.GetInt("MySQLPort", 3306, database);
    s.localMirror = ini.GetBool("LocalMirror", false, database);
    s.overwriteLocalMirror = ini.GetBool("OverwriteLocalMirror", false, database);
    s.mirrorFolder =
        NativeSeparators(ExpandFolderPlaceholders(ini.GetString("MirrorFolder", "", database)));
    s.mySQLCmd = ini.GetString("MySQLCmd", "", database);
    s.deleteDatabaseFiles = ini.GetBool("DeleteDatabaseFiles", false, database);
    s.hideMirrorFolder = ini.GetBool("HideMirrorFolder", false, database);
    s.mySQLMode = ini.GetBool("MySQLMode", false, database);

    const std::string splash = ini.GetString("UseSplash", "splash.bmp", general);
    s.splashFile = splash == "1" ? "splash.bmp" : splash == "0" ? "" : NativeSeparators(splash);
    s.shutdownMessage = ReplaceExact(ini.GetString("ShowShutdownMessage", "", general),
                                     kServerNameToken, s.serverName);
    s.startLocal = ini.GetInt("StartLocal", 0, general);
    s.allowOnlySingleInstance = ini.GetBool("AllowOnlySingleInstance", false, general);
    s.showStartupProgress = ini.GetBool("ShowStartupProgress", true, general);
    s.keepRunningAfterBrowserClose = ini.GetBool("KeepRunningAfterBrowserClose", false, general);
    s.showTrayIcon = ini.GetBool("ShowTrayIcon", false, general);

    const auto pathSetting = [&](const char* key, const std::string& defaultValue) {
        return NativeSeparators(ini.GetString(key, defaultValue, paths));
    };
    s.pathToApache = pathSetting("PathToApache", "server\\Apache\\Apache" + kExeSuffix);
    s.pathToMySqlBin = pathSetting("PathToMySqlBin", "server\\mysql\\bin");
    s.pathToMySqlData = pathSetting("PathToMySqlData", "server\\mysql\\data");
    s.pathToMySqlShare = pathSetting("PathToMySqlShare", "server\\mysql\\share");
    s.pathToPhpIni = pathSetting("PathToPhpIni", "server\\config_tpl\\php.ini");
    s.pathToHttpdConf = pathSetting("PathToHttpdConf", "server\\config_tpl\\httpd.conf");
    s.pathToMyIni = pathSetting("PathToMyIni", "server\\config_tpl\\my.ini");

    s.additionalFiles = NumberedValues(ini, "AdditionalParsing", "File", 10, true);
    s.startupCommands = NumberedValues(ini, "Startup", "Startup", 3, false);
    s.shutdownCommands = NumberedValues(ini, "Startup", "Shutdown", 3, false);
}
