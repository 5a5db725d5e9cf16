#include "config/settings.h"

#include <gtest/gtest.h>

#include "settings_fields.h"
#include "sys/folders.h"
#include "test_support.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

using testsupport::Fields;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

using List = std::vector<std::string>;

const List kBuiltInOfflineTitles = {"Work Offline", "Offline arbeiten", "Offlinebetrieb"};

AppSettings Read(const std::string& path) {
    AppSettings settings;
    ReadSettings(settings, path);
    return settings;
}

// Reads settings from a file holding `text`.
AppSettings ReadText(const std::string& text) {
    TempDir dir;
    WriteFile(dir / "hub_config.ini", text);
    return Read(dir / "hub_config.ini");
}

std::string Native(const std::string& path) {
    return NativeSeparators(path);
}

}  // namespace

TEST(Settings, MissingFileGivesEveryDefault) {
    TempDir dir;
    AppSettings s;
    s.urlParam = "?kept";
    ReadSettings(s, dir / "missing.ini");

    EXPECT_EQ(7452, s.port);
    EXPECT_EQ(GetLocalIpAddress(0), s.hostName);
    EXPECT_EQ("Trailhost", s.serverName);
    EXPECT_FALSE(s.portMandatory);
    EXPECT_EQ("Port is already in use. Trailhost can't be started", s.portMandatoryErrorMessage);
    EXPECT_EQ("index.php", s.defaultFile);
    EXPECT_EQ("htdocs", s.defaultRoot);
    EXPECT_FALSE(s.deleteHttpTemp);
    EXPECT_TRUE(s.hideTempFolder);
    EXPECT_EQ(BrowserType::DEFAULT, s.browserType);
    EXPECT_EQ("", s.browserCmdOptions);
    EXPECT_EQ("", s.browserPath);
    EXPECT_EQ(kBuiltInOfflineTitles, s.workOfflineTitles);
    EXPECT_EQ("", s.browserSize);
    EXPECT_FALSE(s.useMySQL);
    EXPECT_EQ(3306, s.mySQLPort);
    EXPECT_FALSE(s.localMirror);
    EXPECT_FALSE(s.overwriteLocalMirror);
    EXPECT_EQ("", s.mirrorFolder);
    EXPECT_EQ("", s.mySQLCmd);
    EXPECT_FALSE(s.deleteDatabaseFiles);
    EXPECT_FALSE(s.hideMirrorFolder);
    EXPECT_FALSE(s.mySQLMode);
    EXPECT_EQ("splash.bmp", s.splashFile);
    EXPECT_EQ("", s.shutdownMessage);
    EXPECT_EQ(0, s.startLocal);
    EXPECT_FALSE(s.allowOnlySingleInstance);
    EXPECT_TRUE(s.showStartupProgress);
    EXPECT_FALSE(s.keepRunningAfterBrowserClose);
    EXPECT_FALSE(s.showTrayIcon);
#ifdef _WIN32
    EXPECT_EQ("server\\Apache\\Apache.exe", s.pathToApache);
    EXPECT_EQ("server\\mysql\\bin", s.pathToMySqlBin);
#else
    EXPECT_EQ("server/Apache/Apache", s.pathToApache);
    EXPECT_EQ("server/mysql/bin", s.pathToMySqlBin);
#endif
    EXPECT_EQ(Native("server\\mysql\\data"), s.pathToMySqlData);
    EXPECT_EQ(Native("server\\mysql\\share"), s.pathToMySqlShare);
    EXPECT_EQ(Native("server\\config_tpl\\php.ini"), s.pathToPhpIni);
    EXPECT_EQ(Native("server\\config_tpl\\httpd.conf"), s.pathToHttpdConf);
    EXPECT_EQ(Native("server\\config_tpl\\my.ini"), s.pathToMyIni);
    EXPECT_EQ(List(10), s.additionalFiles);
    EXPECT_EQ(List(3), s.startupCommands);
    EXPECT_EQ(List(3), s.shutdownCommands);
    EXPECT_EQ("?kept", s.urlParam);

    // An empty path (-config given without a value) reads no file at all.
    EXPECT_EQ(Fields(s), Fields([] {
                  AppSettings fromEmptyPath = Read("");
                  fromEmptyPath.urlParam = "?kept";
                  return fromEmptyPath;
              }()));
}

TEST(Settings, OneKeyChangesOnlyItsField) {
    TempDir dir;
    auto expected = Fields(Read(dir / "missing.ini"));
    expected["port"] = "8080";
    EXPECT_EQ(expected, Fields(ReadText("[http]\nPort=8080\n")));
    // Section and key names in any letter case.
    EXPECT_EQ(expected, Fields(ReadText("[HTTP]\r\nport = 8080\r\n")));
}

TEST(Settings, BrowserTypeByNameInAnyCase) {
    EXPECT_EQ(BrowserType::FIREFOX, ReadText("[Browser]\nBrowserType=firefox\n").browserType);
    EXPECT_EQ(BrowserType{}, ReadText("[Browser]\nBrowserType=opera\n").browserType);
    EXPECT_EQ(BrowserType::DEFAULT, ReadText("[Browser]\nBrowserType=\n").browserType);
    EXPECT_EQ(BrowserType::DEFAULT, ReadText("[Browser]\nBrowserPath=x\n").browserType);
    EXPECT_EQ(BrowserType::CHROMIUM, ReadText("[Browser]\nBrowserType=Chromium\n").browserType);

    const std::pair<const char*, int> names[] = {
        {"DEFAULT", 8},    {"default", 8},  {"", 8},
        {"Mozilla", 2},    {"FIREFOX", 4},  {"iExplorer", 1},
        {"external", 16},  {"None", 32},    {"PortableFirefox", 64},
        {"CHROMIUM", 128}, {"fire fox", 0}, {"firefox2", 0},
        {"IE", 0},
    };
    for (const auto& [text, type] : names) {
        EXPECT_EQ(type, static_cast<int>(BrowserTypeFromText(text))) << text;
    }
}

TEST(Settings, WorkOfflineTitlesFollowTheBuiltInOnes) {
    List expected = kBuiltInOfflineTitles;
    expected.insert(expected.end(), {"Offline", "Hors ligne"});
    EXPECT_EQ(expected,
              ReadText("[Browser]\nWorkOfflineTitle=Offline;;Hors ligne;\n").workOfflineTitles);

    expected = kBuiltInOfflineTitles;
    expected.insert(expected.end(), {" a ", " b"});
    EXPECT_EQ(expected, ReadText("[Browser]\nWorkOfflineTitle=\"; a ;; b\"\n").workOfflineTitles);
    EXPECT_EQ(kBuiltInOfflineTitles,
              ReadText("[Browser]\nWorkOfflineTitle=;;;\n").workOfflineTitles);
}

TEST(Settings, UseSplashNamesTheBitmapOrTurnsItOff) {
    EXPECT_EQ("splash.bmp", ReadText("[General]\nUseSplash=1\n").splashFile);
    EXPECT_EQ("", ReadText("[General]\nUseSplash=0\n").splashFile);
    EXPECT_EQ("intro.bmp", ReadText("[General]\nUseSplash=intro.bmp\n").splashFile);
    EXPECT_EQ("splash.bmp", ReadText("[General]\nServerName=x\n").splashFile);
    EXPECT_EQ("", ReadText("[General]\nUseSplash=\n").splashFile);
    EXPECT_EQ("2", ReadText("[General]\nUseSplash=2\n").splashFile);
    EXPECT_EQ(Native("img\\intro.bmp"),
              ReadText("[General]\nUseSplash=img\\intro.bmp\n").splashFile);
}

TEST(Settings, MirrorFolderExpandsFolderPlaceholdersInAnyCase) {
    const std::string sep(1, kPathSeparator);
    EXPECT_EQ(GetSpecialFolderPath(kCsidlProgramFiles) + sep + "site" + sep + "db" + sep,
              ReadText("[database]\nMirrorFolder={pf}\\site\\db\\\n").mirrorFolder);
    EXPECT_EQ(GetTempFolder() + "db", ReadText("[database]\nMirrorFolder={TMP}db\n").mirrorFolder);
    EXPECT_EQ(GetSpecialFolderPath(kCsidlPersonal) + sep + "x",
              ReadText("[database]\nMirrorFolder={Md}\\x\n").mirrorFolder);
    EXPECT_EQ(GetSpecialFolderPath(kCsidlWindows) + sep + "x",
              ReadText("[database]\nMirrorFolder={win}\\x\n").mirrorFolder);
    // No other key is expanded.
    EXPECT_EQ(Native("{PF}\\b.exe"), ReadText("[Browser]\nBrowserPath={PF}\\b.exe\n").browserPath);
}

TEST(Settings, ServerNameFillsTheMessages) {
    const AppSettings acme = ReadText(
        "[General]\nServerName=Acme Intranet\n"
        "ShowShutdownMessage={SERVER_NAME} stops; {server_name} and {SERVER_NAME} too\n");
    EXPECT_EQ("Port is already in use. Acme Intranet can't be started",
              acme.portMandatoryErrorMessage);
    EXPECT_EQ("Acme Intranet stops; {server_name} and Acme Intranet too", acme.shutdownMessage);

    // A server name that holds the token is not expanded again.
    EXPECT_EQ("<{SERVER_NAME}> busy",
              ReadText("[General]\nServerName=<{SERVER_NAME}>\n"
                       "[http]\nPortMandantoryErrorMessage={SERVER_NAME} busy\n")
                  .portMandatoryErrorMessage);
}

TEST(Settings, HostNameGetsTheLocalAddressForItsPlaceholder) {
    const std::string ip = GetLocalIpAddress(0);
    EXPECT_EQ("www." + ip + ".nip.io",
              ReadText("[http]\nHostName=www.{local_ip}.nip.io\n").hostName);
    EXPECT_EQ("{LOCAL_IP}", ReadText("[http]\nHostName={LOCAL_IP}\n").hostName);
    EXPECT_EQ("intranet", ReadText("[http]\nHostName=intranet\n").hostName);
    EXPECT_EQ("", ReadText("[http]\nHostName=\n").hostName);
}

TEST(Settings, NumbersAndBooleansFromText) {
    const AppSettings s = ReadText(
        "[database]\nMySQLMode=2\nUseMySQL=1\nMySQLPort=\nLocalMirror=true\n"
        "[General]\nAllowOnlySingleInstance=yes\nShowStartupProgress=0\nStartLocal=1\n"
        "ShowTrayIcon=  1  \n"
        "[http]\nPort=abc\nHideTempFolder=\nDeleteHttpTemp=no\nPortMandantory=7\n");
    EXPECT_TRUE(s.mySQLMode);
    EXPECT_TRUE(s.useMySQL);
    EXPECT_EQ(3306, s.mySQLPort);
    EXPECT_FALSE(s.localMirror);
    EXPECT_FALSE(s.allowOnlySingleInstance);
    EXPECT_FALSE(s.showStartupProgress);
    EXPECT_EQ(1, s.startLocal);
    EXPECT_TRUE(s.showTrayIcon);
    EXPECT_EQ(0, s.port);
    EXPECT_TRUE(s.hideTempFolder);
    EXPECT_FALSE(s.deleteHttpTemp);
    EXPECT_TRUE(s.portMandatory);
}

TEST(Settings, EmptyStringValuesReplaceTheirDefaults) {
    const AppSettings s = ReadText("[http]\nDefaultFile=\nDefaultRoot=\n[Path]\nPathToApache=\n");
    EXPECT_EQ("", s.defaultFile);
    EXPECT_EQ("", s.defaultRoot);
    EXPECT_EQ("", s.pathToApache);
}

TEST(Settings, ListsKeepTheirLengthWhenKeysAreMissing) {
    const AppSettings s = ReadText(
        "[AdditionalParsing]\nFile1=htdocs\\config.php\nFile2=a.txt\nFile4=d.txt\n"
        "File10=j.txt\nFile11=ignored.txt\n"
        "[Startup]\nStartup2=tools\\prepare.exe /q\nShutdown3=tools\\cleanup.exe\n");
    EXPECT_EQ(
        (List{Native("htdocs\\config.php"), "a.txt", "", "d.txt", "", "", "", "", "", "j.txt"}),
        s.additionalFiles);
    // Commands are no paths: they keep their text as written.
    EXPECT_EQ((List{"", "tools\\prepare.exe /q", ""}), s.startupCommands);
    EXPECT_EQ((List{"", "", "tools\\cleanup.exe"}), s.shutdownCommands);
}

TEST(Settings, PathSettingsUseThePlatformSeparator) {
    const AppSettings s = ReadText(
        "[Path]\nPathToApache=server\\Apache\\bin\\Apache.exe\nPathToMySqlBin=db\\bin\n"
        "PathToMySqlData=db\\data\nPathToMySqlShare=db\\share\nPathToPhpIni=tpl\\php.ini\n"
        "PathToHttpdConf=tpl\\httpd.conf\nPathToMyIni=tpl\\my.ini\n"
        "[http]\nDefaultRoot=www\\site\n[Browser]\nBrowserPath=C:\\b\\b.exe\n"
        "BrowserCmdOptions=-opt \\x\n[database]\nMySQLCmd=--x=\\y\n");
#ifdef _WIN32
    EXPECT_EQ("server\\Apache\\bin\\Apache.exe", s.pathToApache);
    EXPECT_EQ("www\\site", s.defaultRoot);
#else
    EXPECT_EQ("server/Apache/bin/Apache.exe", s.pathToApache);
    EXPECT_EQ("www/site", s.defaultRoot);
#endif
    EXPECT_EQ(Native("db\\bin"), s.pathToMySqlBin);
    EXPECT_EQ(Native("db\\data"), s.pathToMySqlData);
    EXPECT_EQ(Native("db\\share"), s.pathToMySqlShare);
    EXPECT_EQ(Native("tpl\\php.ini"), s.pathToPhpIni);
    EXPECT_EQ(Native("tpl\\httpd.conf"), s.pathToHttpdConf);
    EXPECT_EQ(Native("tpl\\my.ini"), s.pathToMyIni);
    EXPECT_EQ(Native("C:\\b\\b.exe"), s.browserPath);
    EXPECT_EQ("-opt \\x", s.browserCmdOptions);
    EXPECT_EQ("--x=\\y", s.mySQLCmd);
}

TEST(Settings, ReplaceNoCaseReplacesEveryOccurrenceOnce) {
    struct ReplaceCase {
        const char* text;
        const char* token;
        const char* replacement;
        const char* expected;
    };
    const ReplaceCase cases[] = {
        {"{pf}\\x", "{PF}", "C:\\P", "C:\\P\\x"},
        {"a{Tmp}b{TMP}", "{tmp}", "T", "aTbT"},
        {"{PF}{pf}", "{PF}", "{pf}", "{pf}{pf}"},
        {"aaaa", "aa", "a", "aa"},
        {"none here", "{PF}", "x", "none here"},
        {"", "{PF}", "x", ""},
        {"abc", "", "z", "abc"},
        {"\xC4{md}\xE4", "{MD}", "D",
         "\xC4"
         "D\xE4"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, ReplaceNoCase(c.text, c.token, c.replacement)) << c.text;
    }
}

TEST(Settings, FolderPlaceholdersExpandInTurn) {
    const std::string tmp = GetTempFolder();
    EXPECT_EQ(GetSpecialFolderPath(kCsidlProgramFiles) + "|" + GetSpecialFolderPath(kCsidlWindows) +
                  "|" + GetSpecialFolderPath(kCsidlPersonal) + "|" + tmp,
              ExpandFolderPlaceholders("{PF}|{win}|{mD}|{Tmp}"));
    EXPECT_EQ("{PFX}", ExpandFolderPlaceholders("{PFX}"));
    EXPECT_EQ(tmp + "db", ExpandFolderPlaceholders("{TMP}db"));
}

// The list of keys that the stack check holds a configuration against must be the keys that
// ReadSettings reads: each changes a field from its own section and from no other, and between
// them they set every field that comes from the file.
TEST(Settings, TheListedKeysAreTheOnesReadAndOnlyFromTheirSection) {
    TempDir dir;
    const auto defaults = Fields(Read(dir / "missing.ini"));
    std::vector<std::string> sections;
    for (const SettingKey& key : SettingKeys()) {
        if (std::find(sections.begin(), sections.end(), key.section) == sections.end()) {
            sections.push_back(key.section);
        }
    }
    std::set<std::string> changed;
    for (const SettingKey& key : SettingKeys()) {
        // A boolean's default may be either: one of the two values differs from it.
        const List values = key.kind == SettingKind::kNumber    ? List{"4711"}
                            : key.kind == SettingKind::kBoolean ? List{"0", "1"}
                            : key.kind == SettingKind::kPath    ? List{"listed\\path"}
                                                                : List{"listed text"};
        bool read = false;
        for (const std::string& value : values) {
            const std::string line = std::string(key.name) + "=" + value + "\n";
            for (const auto& [field, text] :
                 Fields(ReadText("[" + std::string(key.section) + "]\n" + line))) {
                if (text != defaults.at(field)) {
                    read = true;
                    changed.insert(field);
                }
            }
            std::string elsewhere;
            for (const std::string& other : sections) {
                if (other != key.section) {
                    elsewhere += "[" + other + "]\n" + line;
                }
            }
            EXPECT_EQ(defaults, Fields(ReadText(elsewhere)))
                << key.name << " is read from outside [" << key.section << "]";
        }
        EXPECT_TRUE(read) << key.name << " in [" << key.section << "] changes nothing";
    }
    for (const auto& [field, text] : defaults) {
        if (field != "urlParam") {
            EXPECT_EQ(1u, changed.count(field)) << "no listed key sets " << field;
        }
    }
}
