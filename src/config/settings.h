// The launcher's settings: every key of hub_config.ini, read once at start-up.
#pragma once

#include <string>
#include <vector>

// Which browser starter opens the site. The values are single bits; 0 (no member) and any value
// the starter factory does not know are treated like DEFAULT.
enum class BrowserType : int {
    IEXPLORER = 1,
    MOZILLA = 2,
    FIREFOX = 4,
    DEFAULT = 8,
    EXTERNAL = 16,
    NONE = 32,
    PORTABLEFIREFOX = 64,
    CHROMIUM = 128,
};

// Each field names its key as [section] Key; see ReadSettings for the defaults.
struct AppSettings {
    int port = 0;                // [http] Port: the web server's first-choice port
    bool portMandatory = false;  // [http] PortMandantory: refuse a start if Port is taken
    std::string portMandatoryErrorMessage;  // [http] PortMandantoryErrorMessage: that box's text
    std::string hostName;                   // [http] HostName: the site's host name
    std::string defaultFile;                // [http] DefaultFile: the start URL's document
    std::string urlParam;                   // -urlparam: appended to the start URL
    std::string defaultRoot;                // [http] DefaultRoot: the document root folder
    BrowserType browserType{};              // [Browser] BrowserType: which starter opens the site
    int startLocal = 0;  // [General] StartLocal: 1 puts the produced files into the server folders
    std::string browserPath;        // [Browser] BrowserPath: the program of EXTERNAL and the like
    std::string browserCmdOptions;  // [Browser] BrowserCmdOptions: read, not used
    bool keepRunningAfterBrowserClose = false;   // [General] KeepRunningAfterBrowserClose: stay up
    std::vector<std::string> workOfflineTitles;  // [Browser] WorkOfflineTitle: prompts to dismiss
    std::vector<std::string> additionalFiles;    // [AdditionalParsing] File1-10: filled in place
    std::vector<std::string> startupCommands;    // [Startup] Startup1-3: run before the servers
    std::vector<std::string> shutdownCommands;   // [Startup] Shutdown1-3: run after the servers
    bool deleteDatabaseFiles = false;  // [database] DeleteDatabaseFiles: the mirror goes at the end
    bool deleteHttpTemp = false;       // [http] DeleteHttpTemp: the runtime folder goes at the end
    std::string splashFile;            // [General] UseSplash: the splash picture; empty for none
    bool showTrayIcon = false;         // [General] ShowTrayIcon: a tray icon with Close
    bool showStartupProgress = false;  // [General] ShowStartupProgress: a bar on the splash
    bool hideTempFolder = false;       // [http] HideTempFolder: the runtime folder hidden
    std::string shutdownMessage;       // [General] ShowShutdownMessage: the dialog; empty for none
    std::string serverName;            // [General] ServerName: the name in boxes, tray, instance
    bool allowOnlySingleInstance = false;  // [General] AllowOnlySingleInstance: one copy a name
    bool localMirror = false;              // [database] LocalMirror: copy the data to a mirror
    bool overwriteLocalMirror = false;     // [database] OverwriteLocalMirror: refresh the mirror
    bool useMySQL = false;                 // [database] UseMySQL: start the database server
    int mySQLPort = 0;                     // [database] MySQLPort: its first-choice port
    std::string mirrorFolder;  // [database] MirrorFolder: the mirror, placeholders expanded
    std::string browserSize;   // [Browser] BrowserSize: MAXIMIZE, KIOSK, WxH, W or empty
    std::string mySQLCmd;      // [database] MySQLCmd: more of the database server's command line
    bool hideMirrorFolder = false;  // [database] HideMirrorFolder: the mirror folder hidden
    bool mySQLMode = false;      // [database] MySQLMode: templates get the machine's address for it
    std::string pathToApache;    // [Path] PathToApache: the web server program
    std::string pathToMySqlBin;  // [Path] PathToMySqlBin: the database server's programs
    std::string pathToMySqlData;   // [Path] PathToMySqlData: the database's data folder
    std::string pathToMySqlShare;  // [Path] PathToMySqlShare: the database's share folder
    std::string pathToPhpIni;      // [Path] PathToPhpIni: the PHP configuration template
    std::string pathToHttpdConf;   // [Path] PathToHttpdConf: the web server's template
    std::string pathToMyIni;       // [Path] PathToMyIni: the database server's template
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

// The BrowserType for a BrowserType text (any letter case); BrowserType{} (0) for an unknown name.
BrowserType BrowserTypeFromText(const std::string& text);
