// Settings records as text for whole-record comparisons, and hub_config.ini files of garbage.
#pragma once

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "config/settings.h"

namespace testsupport {

inline std::string JoinFields(const std::vector<std::string>& list) {
    std::string text;
    for (const auto& item : list) {
        text += "[" + item + "]";
    }
    return text;
}

// Every field as text, so that two records can be compared field by field.
inline std::map<std::string, std::string> Fields(const AppSettings& s) {
    return {
        {"port", std::to_string(s.port)},
        {"portMandatory", std::to_string(s.portMandatory)},
        {"portMandatoryErrorMessage", s.portMandatoryErrorMessage},
        {"hostName", s.hostName},
        {"defaultFile", s.defaultFile},
        {"urlParam", s.urlParam},
        {"defaultRoot", s.defaultRoot},
        {"browserType", std::to_string(static_cast<int>(s.browserType))},
        {"startLocal", std::to_string(s.startLocal)},
        {"browserPath", s.browserPath},
        {"browserCmdOptions", s.browserCmdOptions},
        {"keepRunningAfterBrowserClose", std::to_string(s.keepRunningAfterBrowserClose)},
        {"workOfflineTitles", JoinFields(s.workOfflineTitles)},
        {"additionalFiles", JoinFields(s.additionalFiles)},
        {"startupCommands", JoinFields(s.startupCommands)},
        {"shutdownCommands", JoinFields(s.shutdownCommands)},
        {"deleteDatabaseFiles", std::to_string(s.deleteDatabaseFiles)},
        {"deleteHttpTemp", std::to_string(s.deleteHttpTemp)},
        {"splashFile", s.splashFile},
        {"showTrayIcon", std::to_string(s.showTrayIcon)},
        {"showStartupProgress", std::to_string(s.showStartupProgress)},
        {"hideTempFolder", std::to_string(s.hideTempFolder)},
        {"shutdownMessage", s.shutdownMessage},
        {"serverName", s.serverName},
        {"allowOnlySingleInstance", std::to_string(s.allowOnlySingleInstance)},
        {"localMirror", std::to_string(s.localMirror)},
        {"overwriteLocalMirror", std::to_string(s.overwriteLocalMirror)},
        {"useMySQL", std::to_string(s.useMySQL)},
        {"mySQLPort", std::to_string(s.mySQLPort)},
        {"mirrorFolder", s.mirrorFolder},
        {"browserSize", s.browserSize},
        {"mySQLCmd", s.mySQLCmd},
        {"hideMirrorFolder", std::to_string(s.hideMirrorFolder)},
        {"mySQLMode", std::to_string(s.mySQLMode)},
        {"pathToApache", s.pathToApache},
        {"pathToMySqlBin", s.pathToMySqlBin},
        {"pathToMySqlData", s.pathToMySqlData},
        {"pathToMySqlShare", s.pathToMySqlShare},
        {"pathToPhpIni", s.pathToPhpIni},
        {"pathToHttpdConf", s.pathToHttpdConf},
        {"pathToMyIni", s.pathToMyIni},
    };
}

// Files that no editor wrote: random bytes (NULs and every high byte among them), invalid UTF-8,
// byte-order marks in the wrong places, bare carriage returns, a line of a quarter megabyte and
// a section named by 64 KiB of 0xFF bytes. The first starts with the UTF-16 byte-order mark, the
// second with UTF-8's, the third with neither. The same bytes at every call.
inline std::vector<std::string> GarbageIniTexts() {
    std::mt19937 random(20240611u);
    std::string noise;
    for (int i = 0; i < 32 * 1024; ++i) {
        noise += static_cast<char>(random() & 0xffu);
    }
    const std::string invalidUtf8 =
        "\xC3\x28\xA0\xA1\xE2\x28\xA1\xF0\x28\x8C\xBC\xC0\xAF\xED\xA0\x80\xF8\x88\x80\x80\x80";
    const std::string rest = noise + std::string("\0\0\0\0", 4) + invalidUtf8 +
                             "\xFF\xFE\xEF\xBB\xBF" + "\r\r" + std::string(256 * 1024, 'x') +
                             "\r\n[" + std::string(64 * 1024, '\xFF') + "]\nPort=1\nUseMySQL=1\n" +
                             noise;
    return {"\xFF\xFE" + rest, "\xEF\xBB\xBF" + rest, rest};
}

}  // namespace testsupport
