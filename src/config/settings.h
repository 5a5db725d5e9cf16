// The launcher's settings: every key of hub_config.ini, read once at start-up.
#pragma once

#include <string>
#include <vector>

// Which browser starter opens the site. The values are single bits; 0 (no member) and any value
// the starter factory does not know are treated like DEFAULT.
enum BrowserType {
    IEXPLORER = 1,
    MOZILLA = 2,
    FIREFOX = 4,
    DEFAULT = 8,
    EXTERNAL = 16,
    NONE = 32,
    PORTABLEFIREFOX = 64,
    CHROMIUM = 128,
};

struct AppSettings {
    int port = 0;
    bool portMandatory = false;
    std::string portMandatoryErrorMessage;
    std::string hostName;
    std::string defaultFile;
    std::string urlParam;
    std::string defaultRoot;
    int browserType = 0;
    int startLocal = 0;
    std::string browserPath;
    std::string browserCmdOptions;
    bool keepRunningAfterBrowserClose = false;
    std::vector<std::string> workOfflineTitles;
    std::vector<std::string> additionalFiles;
    std::vector<std::string> startupCommands;
    std::vector<std::string> shutdownCommands;
    bool deleteDatabaseFiles = false;
    bool deleteHttpTemp = false;
    std::string splashFile;
    bool showTrayIcon = false;
    bool showStartupProgress = false;
    bool hideTempFolder = false;
    std::string shutdownMessage;
    std::string serverName;
    bool allowOnlySingleInstance = false;
    bool localMirror = false;
    bool overwriteLocalMirror = false;
    bool useMySQL = false;
    int mySQLPort = 0;
    std::string mirrorFolder;
    std::string browserSize;
    std::string mySQLCmd;
    bool hideMirrorFolder = false;
    bool mySQLMode = false;
    std::string pathToApache;
    std::string pathToMySqlBin;
    std::string pathToMySqlData;
    std::string pathToMySqlShare;
    std::string pathToPhpIni;
    std::string pathToHttpdConf;
    std::string pathToMyIni;
};

// Fills every field but urlParam from the INI file at `path`; a missing file, section or key
// gives the default, silently. Settings that name files or folders (the Path keys, DefaultRoot,
// BrowserPath, MirrorFolder, UseSplash, the additional files) come in the platform's own form
// (NativeSeparators), and built-in program paths end in ".exe" on Windows only.
void ReadSettings(AppSettings& settings, const std::string& path);

// How ReadSettings takes a key's value: a number (its leading digits), a boolean (a number, any
// non-zero one true), a text, or a file or folder in the configuration's form (with '\').
enum class SettingKind { kNumber, kBoolean, kText, kPath };

struct SettingKey {
    const char* section;
    const char* name;
    SettingKind kind;
};

// Every key ReadSettings reads, with its section; the numbered keys (File1 to File10, Startup1 to
// Startup3, Shutdown1 to Shutdown3) one by one.
const std::vector<SettingKey>& SettingKeys();

// The text with {PF}, {WIN}, {MD} and {TMP} replaced (any letter case).
std::string ExpandFolderPlaceholders(const std::string& text);

// Every occurrence of `token`, compared without regard to letter case, replaced by `replacement`;
// a replacement that holds the token is not expanded again.
std::string ReplaceNoCase(const std::string& text, const std::string& token,
                          const std::string& replacement);

// The BrowserType for a BrowserType text (any letter case); 0 for an unknown name.
int BrowserTypeFromText(const std::string& text);
