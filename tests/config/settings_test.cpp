#include "config/settings.h"

#include <gtest/gtest.h>

#include "sys/folders.h"
#include "test_support.h"

#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

std::string Text(const std::string& text) {
    return text;
}
std::string Text(const std::vector<std::string>& list) {
    std::string text;
    for (const auto& item : list) {
        text += "[" + item + "]";
    }
    return text;
}
// Numbers, yes/no values and the browser type.
template <typename Number>
std::string Text(Number number) {
    return std::to_string(static_cast<long long>(number));
}

using FieldMap = std::map<std::string, std::string>;

void Put(FieldMap&) {}
template <typename Value, typename... Rest>
void Put(FieldMap& fields, const char* name, const Value& value, const Rest&... rest) {
    fields[name] = Text(value);
    Put(fields, rest...);
}

// Every field as text, so that two records can be compared field by field.
FieldMap Fields(const AppSettings& s) {
    FieldMap fields;
    Put(fields, "port", s.port, "portMandatory", s.portMandatory, "portMandatoryErrorMessage",
        s.portMandatoryErrorMessage, "hostName", s.hostName, "defaultFile", s.defaultFile,
        "urlParam", s.urlParam, "defaultRoot", s.defaultRoot, "browserType", s.browserType,
        "startLocal", s.startLocal, "browserPath", s.browserPath, "browserCmdOptions",
        s.browserCmdOptions, "keepRunningAfterBrowserClose", s.keepRunningAfterBrowserClose,
        "workOfflineTitles", s.workOfflineTitles, "additionalFiles", s.additionalFiles,
        "startupCommands", s.startupCommands, "shutdownCommands", s.shutdownCommands,
        "deleteDatabaseFiles", s.deleteDatabaseFiles, "deleteHttpTemp", s.deleteHttpTemp,
        "splashFile", s.splashFile, "showTrayIcon", s.showTrayIcon, "showStartupProgress",
        s.showStartupProgress, "hideTempFolder", s.hideTempFolder, "shutdownMessage",
        s.shutdownMessage, "serverName", s.serverName, "allowOnlySingleInstance",
        s.allowOnlySingleInstance, "localMirror", s.localMirror, "overwriteLocalMirror",
        s.overwriteLocalMirror, "useMySQL", s.useMySQL, "mySQLPort", s.mySQLPort, "mirrorFolder",
        s.mirrorFolder, "browserSize", s.browserSize, "mySQLCmd", s.mySQLCmd, "hideMirrorFolder",
        s.hideMirrorFolder, "mySQLMode", s.mySQLMode, "pathToApache", s.pathToApache,
        "pathToMySqlBin", s.pathToMySqlBin, "pathToMySqlData", s.pathToMySqlData,
        "pathToMySqlShare", s.pathToMySqlShare, "pathToPhpIni", s.pathToPhpIni, "pathToHttpdConf",
        s.pathToHttpdConf, "pathToMyIni", s.pathToMyIni);
    return fields;
}

using List = std::vector<std::string>;
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

FieldMap Defaults() {
    return Fields(Read(TempDir() / "missing.ini"));
}

std::string Native(const std::string& path) {
    return NativeSeparators(path);
}

const char kBuiltInTitles[] = "[Work Offline][Offline arbeiten][Offlinebetrieb]";

}  // namespace

// The defaults that other parts build on: the ports, the lists' lengths, the local address,
// and a URL parameter that the command line set before, which the file never touches.
TEST(Settings, MissingFileOrNoPathGivesTheDefaults) {
    AppSettings s;
    s.urlParam = "?kept";
    ReadSettings(s, TempDir() / "missing.ini");
    EXPECT_EQ(7452, s.port);
    EXPECT_EQ(3306, s.mySQLPort);
    EXPECT_EQ(GetLocalIpAddress(0), s.hostName);
    EXPECT_EQ(List(10), s.additionalFiles);
    EXPECT_EQ(List(3), s.startupCommands);
    EXPECT_EQ(List(3), s.shutdownCommands);
    EXPECT_EQ("?kept", s.urlParam);
    EXPECT_EQ(Native("server\\Apache\\Apache") + (kPathSeparator == '\\' ? ".exe" : ""),
              s.pathToApache);

    // An empty path (-config given without a value) reads no file at all.
    AppSettings fromEmptyPath = Read("");
    fromEmptyPath.urlParam = "?kept";
    EXPECT_EQ(Fields(s), Fields(fromEmptyPath));
}

// A damaged hub_config.ini (a bad sector, a file of another kind saved under its name) reads
// as no configuration at all. The files: random bytes (NULs and every high byte among them),
// invalid UTF-8, byte-order marks in the wrong places, bare carriage returns, a line of a quarter
// megabyte and a section named by 64 KiB of 0xFF bytes, after the byte-order mark of UTF-16, of
// UTF-8 or none.
TEST(Settings, AHubConfigOfGarbageGivesEveryDefault) {
    std::mt19937 random(20240611u);
    std::string noise;
    for (int i = 0; i < 32 * 1024; ++i) {
        noise += static_cast<char>(random() & 0xffu);
    }
    const std::string invalidUtf8 =
        "\xC3\x28\xA0\xA1\xE2\x28\xA1\xF0\x28\x8C\xBC\xC0\xAF\xED\xA0\x80\xF8\x88\x80\x80\x80";
    const std::string garbage = noise + std::string("\0\0\0\0", 4) + invalidUtf8 +
                                "\xFF\xFE\xEF\xBB\xBF" + "\r\r" + std::string(256 * 1024, 'x') +
                                "\r\n[" + std::string(64 * 1024, '\xFF') +
                                "]\nPort=1\nUseMySQL=1\n" + noise;
    for (const char* mark : {"\xFF\xFE", "\xEF\xBB\xBF", ""}) {
        EXPECT_EQ(Fields(ReadText(mark + garbage)), Defaults())
            << std::strlen(mark) << "-byte mark";
    }
}

// Each row's file changes exactly the fields it names; every other field keeps its default.
TEST(Settings, EachValueBecomesItsFieldsAndNothingElse) {
    const std::string ip = GetLocalIpAddress(0);
    const struct {
        std::string text;
        FieldMap changed;
    } rows[] = {
        // Names in any letter case.
        {"[http]\nPort=8080\n", {{"port", "8080"}}},
        {"[HTTP]\r\nport = 8080\r\n", {{"port", "8080"}}},
        // Numbers are the leading digits; booleans any number but 0; an empty value is no value.
        {"[http]\nPort=abc\n", {{"port", "0"}}},
        {"[database]\nMySQLPort=\n", {}},
        {"[database]\nMySQLMode=2\nUseMySQL=1\nLocalMirror=true\n",
         {{"mySQLMode", "1"}, {"useMySQL", "1"}}},
        {"[General]\nAllowOnlySingleInstance=yes\nShowStartupProgress=0\nShowTrayIcon=  1  \n",
         {{"showStartupProgress", "0"}, {"showTrayIcon", "1"}}},
        {"[http]\nHideTempFolder=\nDeleteHttpTemp=no\nPortMandantory=7\n",
         {{"portMandatory", "1"}}},
        {"[General]\nStartLocal=1\n", {{"startLocal", "1"}}},
        // Texts may be empty, in place of their defaults.
        {"[http]\nDefaultFile=\nDefaultRoot=\n[Path]\nPathToApache=\n",
         {{"defaultFile", ""}, {"defaultRoot", ""}, {"pathToApache", ""}}},
        // The browser type by name in any case; a name of no browser is 0.
        {"[Browser]\nBrowserType=firefox\n",
         {{"browserType", std::to_string(static_cast<int>(BrowserType::FIREFOX))}}},
        {"[Browser]\nBrowserType=\n", {}},
        // Work-offline titles follow the built-in ones; empty pieces are dropped.
        {"[Browser]\nWorkOfflineTitle=Offline;;Hors ligne;\n",
         {{"workOfflineTitles", std::string(kBuiltInTitles) + "[Offline][Hors ligne]"}}},
        {"[Browser]\nWorkOfflineTitle=\"; a ;; b\"\n",
         {{"workOfflineTitles", std::string(kBuiltInTitles) + "[ a ][ b]"}}},
        {"[Browser]\nWorkOfflineTitle=;;;\n", {}},
        // UseSplash: 1 the built-in bitmap, 0 or empty none, anything else a path.
        {"[General]\nUseSplash=1\n", {}},
        {"[General]\nUseSplash=0\n", {{"splashFile", ""}}},
        {"[General]\nUseSplash=\n", {{"splashFile", ""}}},
        {"[General]\nUseSplash=2\n", {{"splashFile", "2"}}},
        {"[General]\nUseSplash=img\\intro.bmp\n", {{"splashFile", Native("img\\intro.bmp")}}},
        // The server name fills the messages, in exact case and once.
        {"[General]\nServerName=Acme\nShowShutdownMessage={SERVER_NAME} stops; {server_name}\n",
         {{"serverName", "Acme"},
          {"portMandatoryErrorMessage", "Port is already in use. Acme can't be started"},
          {"shutdownMessage", "Acme stops; {server_name}"}}},
        {"[General]\nServerName=<{SERVER_NAME}>\n[http]\nPortMandantoryErrorMessage={SERVER_NAME}"
         "\n",
         {{"serverName", "<{SERVER_NAME}>"}, {"portMandatoryErrorMessage", "<{SERVER_NAME}>"}}},
        // The host name's placeholder of the local address, in exact case.
        {"[http]\nHostName=www.{local_ip}.nip.io\n", {{"hostName", "www." + ip + ".nip.io"}}},
        {"[http]\nHostName={LOCAL_IP}\n", {{"hostName", "{LOCAL_IP}"}}},
        {"[http]\nHostName=\n", {{"hostName", ""}}},
        // Only the mirror folder expands the folder placeholders.
        {"[database]\nMirrorFolder={pf}\\site\\db\\\n",
         {{"mirrorFolder", GetSpecialFolderPath(kCsidlProgramFiles) + Native("\\site\\db\\")}}},
        {"[Browser]\nBrowserPath={PF}\\b.exe\n", {{"browserPath", Native("{PF}\\b.exe")}}},
        // Paths get the platform's separator; options and commands keep their text.
        {"[http]\nDefaultRoot=www\\site\n[Path]\nPathToMyIni=tpl\\my.ini\n",
         {{"defaultRoot", Native("www\\site")}, {"pathToMyIni", Native("tpl\\my.ini")}}},
        {"[Browser]\nBrowserCmdOptions=-opt \\x\n[database]\nMySQLCmd=--x=\\y\n",
         {{"browserCmdOptions", "-opt \\x"}, {"mySQLCmd", "--x=\\y"}}},
        // Lists keep their length whatever keys are missing or beyond them.
        {"[AdditionalParsing]\nFile1=htdocs\\config.php\nFile4=d.txt\nFile10=j\nFile11=no\n",
         {{"additionalFiles", "[" + Native("htdocs\\config.php") + "][][][d.txt][][][][][][j]"}}},
        {"[Startup]\nStartup2=tools\\prepare.exe /q\nShutdown3=tools\\cleanup.exe\n",
         {{"startupCommands", "[][tools\\prepare.exe /q][]"},
          {"shutdownCommands", "[][][tools\\cleanup.exe]"}}},
    };
    const FieldMap defaults = Defaults();
    for (const auto& row : rows) {
        FieldMap expected = defaults;
        for (const auto& [field, value] : row.changed) {
            expected[field] = value;
        }
        EXPECT_EQ(Fields(ReadText(row.text)), expected) << row.text;
    }
}

TEST(Settings, BrowserTypeNamesInAnyCase) {
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

TEST(Settings, ReplaceNoCaseReplacesEveryOccurrenceOnce) {
    // The text, the token, its replacement and what comes out.
    const char* const cases[][4] = {
        {"{pf}\\x", "{PF}", "C:\\P", "C:\\P\\x"},
        {"a{Tmp}b{TMP}", "{tmp}", "T", "aTbT"},
        {"{PF}{pf}", "{PF}", "{pf}", "{pf}{pf}"},
        {"aaaa", "aa", "a", "aa"},
        {"none here", "{PF}", "x", "none here"},
        {"", "{PF}", "x", ""},
        {"abc", "", "z", "abc"},
        {"\304{md}\344", "{MD}", "D", "\304D\344"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c[3], ReplaceNoCase(c[0], c[1], c[2])) << c[0];
    }
}

TEST(Settings, FolderPlaceholdersExpandInTurn) {
    EXPECT_EQ(GetSpecialFolderPath(kCsidlProgramFiles) + "|" + GetSpecialFolderPath(kCsidlWindows) +
                  "|" + GetSpecialFolderPath(kCsidlPersonal) + "|" + GetTempFolder(),
              ExpandFolderPlaceholders("{PF}|{win}|{mD}|{Tmp}"));
    EXPECT_EQ("{PFX}", ExpandFolderPlaceholders("{PFX}"));
    EXPECT_EQ(GetTempFolder() + "db", ExpandFolderPlaceholders("{TMP}db"));
}

// The list of keys that the stack check holds a configuration against must be the keys that
// ReadSettings reads: each changes a field from its own section and from no other, and between
// them they set every field that comes from the file.
TEST(Settings, TheListedKeysAreTheOnesReadAndOnlyFromTheirSection) {
    const auto defaults = Defaults();
    std::set<std::string> sections;
    for (const SettingKey& key : SettingKeys()) {
        sections.insert(key.section);
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
                    // Paths get the platform's separator.
                    EXPECT_TRUE(key.kind != SettingKind::kPath ||
                                text.find(Native("listed\\path")) != std::string::npos)
                        << key.name << " gives " << text;
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
