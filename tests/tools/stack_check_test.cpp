#include "pack/stack_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "pack/pack_tool.h"
#include "stack/account_texts.h"
#include "stack/database_server.h"
#include "sys/files.h"
#include "test_support.h"

using namespace testsupport;

namespace {

// A stack in which the check finds nothing: every program and file in place (the programs are
// empty files, which the check does not run), templates with the placeholders their servers
// need, a site file filled in place. Its hub_config.ini is a list of lines that a case edits.
struct CleanStack {
    TempDir dir;
    const std::string root = dir / "stack" + kSep;
    std::vector<std::string> config = {
        "; a stack for the check's tests",             // 1
        "[General]",                                   // 2
        "ServerName=Check",                            // 3
        "UseSplash=0",                                 // 4
        "[http]",                                      // 5
        "Port=7452",                                   // 6
        "HostName=127.0.0.1",                          // 7
        "DeleteHttpTemp=1",                            // 8
        "[Browser]",                                   // 9
        "BrowserType=NONE",                            // 10
        "[database]",                                  // 11
        "UseMySQL=1",                                  // 12
        "MySQLPort=3306",                              // 13
        "[Path]",                                      // 14
        "PathToApache=server\\Apache\\Apache" + kExe,  // 15
        "PathToMySqlBin=server\\mysql\\bin",           // 16
        "[AdditionalParsing]",                         // 17
        "File1=site\\config.php",                      // 18
    };

    CleanStack() {
        CreateFolders(In("server/mysql/share"));
        const std::pair<std::string, const char*> files[] = {
            {"server/Apache/Apache" + kExe, ""},
            {"server/mysql/bin/" + DatabaseServerFileName(), ""},
            {"server/mysql/bin/" + DatabaseAdminFileName(), ""},
            {"server/config_tpl/httpd.conf",
             "ServerRoot \"%RMHUB:SRVDIR%Apache\"\nListen %RMHUB:PORT%\n"
             "DocumentRoot \"%RMHUB:DOCROOT%\"\n"
             "# A comment may name %RMHUB:...% or %RMHUB:MYSQLIP%: it does no harm.\n"},
            {"server/config_tpl/my.ini",
             "[mysqld]\ndatadir=%RMHUB:DBDIR%\nport=%RMHUB:MYSQLPRT%\nbind-address=%RMHUB:MYSQLIP%"
             "\n"},
            {"server/config_tpl/php.ini",
             "session.save_path = \"%RMHUB:RTDIR%session\"\nmysqli.default_port = "
             "%RMHUB:MYSQLPRT%\n"},
            {"htdocs/index.php", "<?php echo 'site';\n"},
            {"dbdir/site/t.frm", "table"},
            {"site/config.php", "<?php $port = %RMHUB:MYSQLPRT%;\n"},
        };
        for (const auto& [file, text] : files) {
            CreateFolders(In(file.substr(0, file.rfind('/'))));
            WriteFile(In(file), text);
        }
        WriteConfig();
    }

    // The path of a file of the stack given with '/'.
    std::string In(const std::string& relative) const { return root + Native(relative); }

    void WriteConfig() const {
        std::string text;
        for (const std::string& line : config) {
            text += line + "\r\n";
        }
        WriteFile(root + "hub_config.ini", text);
    }
};

// A change of the clean stack: lines of its hub_config.ini, its files, or both.
using Change = std::function<void(CleanStack&)>;

// Line n of hub_config.ini (counted from 1) becomes the text, or the text is added at the end
// when n is past the end.
Change Config(std::vector<std::pair<size_t, std::string>> edits) {
    return [edits](CleanStack& s) {
        for (const auto& [line, text] : edits) {
            if (line <= s.config.size()) {
                s.config[line - 1] = text;
            } else {
                s.config.push_back(text);
            }
        }
        s.WriteConfig();
    };
}

Change Drop(const std::string& relative) {
    return [relative](CleanStack& s) {
        const std::string path = s.In(relative);
        ASSERT_TRUE(std::remove(path.c_str()) == 0 || DeleteFolderTree(path)) << path;
    };
}

Change Put(const std::string& relative, const std::string& text) {
    return [relative, text](CleanStack& s) { WriteFile(s.In(relative), text); };
}

// The database folder packed as the stack's archive.
Change Pack(const std::string& folder, const std::string& passPhrase) {
    return [folder, passPhrase](CleanStack& s) {
        CreateFolders(s.In(folder));
        std::ostringstream warnings;
        std::string error;
        ASSERT_TRUE(PackDatabaseFolder(s.In(folder), s.In("dbdir.aes"), passPhrase,
                                       ZipWriter::Method::kDeflated, warnings, error));
    };
}

const auto kError = CheckFinding::Severity::kError;
const auto kWarning = CheckFinding::Severity::kWarning;
const char kHub[] = "hub_config.ini";
const char kHttpd[] = "server/config_tpl/httpd.conf";
const char kMyIni[] = "server/config_tpl/my.ini";
const char kPhpIni[] = "server/config_tpl/php.ini";

std::string Describe(const std::vector<CheckFinding>& findings) {
    std::ostringstream text;
    WriteCheckText(text, "stack", findings);
    return text.str();
}

}  // namespace

TEST(StackCheck, EachMistakeIsReportedAloneWithItsLine) {
    const struct {
        Change change;
        CheckFinding::Severity severity;
        int line;
        const char* says;         // a part of the message
        const char* file = kHub;  // with '/'
    } mistakes[] = {
        // The configuration's lines.
        {Config({{6, "Prot=7452"}}), kError, 6, "did you mean Port?"},
        {Config({{3, "DeleteHttpTemp=1"}}), kError, 3, "DeleteHttpTemp belongs in [http]"},
        {Config({{9, "[Browsr]"}}), kError, 9, "did you mean [Browser]?"},
        {Config({{17, "[Extras]"}, {18, "Colour=red"}}), kWarning, 17,
         "no section the launcher reads"},
        {Config({{19, "[General]"}}), kWarning, 19, "appears already at line 2"},
        {Config({{7, "Colour=red"}}), kWarning, 7, "Colour is no key the launcher reads"},
        {Config({{7, "Port=8080"}}), kWarning, 7, "set already at line 6"},
        {Config({{1, "UseMySQL=1"}}), kError, 1, "before every section"},
        {Config({{1, "Colour=red"}}), kWarning, 1, "Colour stands before every section"},
        {Config({{3, "MySQLPrt=3306"}}), kError, 3, "did you mean MySQLPort in [database]?"},
        {Config({{7, "HostName"}}), kWarning, 7, "has no '='"},
        // The values.
        {Config({{10, "BrowserType=Opera"}}), kError, 10, "no browser type the launcher knows"},
        {Config({{6, "Port=65536"}}), kError, 6, "no port number"},
        {Config({{13, "MySQLPort=db"}}), kError, 13, "is no number"},
        {Config({{8, "DeleteHttpTemp=yes"}}), kError, 8, "reads as 0"},
        {Config({{3, "StartLocal=2"}}), kWarning, 3, "acts like 0"},
        {Config({{10, "BrowserSize=large"}}), kError, 10, "BrowserSize=large"},
        // Programs, folders and files.
        {Drop("server/Apache/Apache" + kExe), kError, 15, "the web server"},
        {Drop("server/mysql/bin/" + DatabaseServerFileName()), kError, 16, "the database server "},
        {Drop("server/mysql/bin/" + DatabaseAdminFileName()), kError, 16, "administration tool"},
        {Drop(kHttpd), kError, 0, "the web server's template"},
        {Drop(kMyIni), kError, 0, "the database server's template"},
        {Drop("htdocs"), kError, 0, "the document root"},
        {Drop("dbdir"), kError, 12, "the database folder"},
        {Config({{4, "UseSplash=1"}}), kError, 4, "Failed to load Splash"},
        // Templates.
        {Put(kHttpd, "ServerName x\nListen 80\n"), kError, 2, "Listen 80 is fixed", kHttpd},
        {Put(kHttpd, "ServerName x\n"), kError, 0, "no Listen line", kHttpd},
        {Put(kMyIni, "[mysqld]\nport=%RMHUB:MYSQLPRT%\ndatadir = C:\\data\n"), kError, 3,
         "datadir is fixed", kMyIni},
        {Put(kMyIni, "[mysqld]\ndatadir=%RMHUB:DBDIR%\n[client]\nport=3306\n"), kError, 4,
         "port is fixed to 3306", kMyIni},
        {Put(kPhpIni, "mysqli.default_port = %RMHUB:MYSQLPORT%\n"), kError, 1,
         "did you mean %RMHUB:MYSQLPRT%?", kPhpIni},
        {Put(kHttpd, "\nListen %rmhub:port%\n"), kError, 2, "did you mean %RMHUB:PORT%?", kHttpd},
        {Put(kPhpIni, "x = %RMHUB:RTDIR\n"), kError, 1, "%RMHUB:RTDIR is no placeholder", kPhpIni},
        {Put(kPhpIni, "\n\nmysqli.default_host = %RMHUB:MYSQLIP%\n"), kError, 3,
         "not filled in php.ini", kPhpIni},
        // Additional files.
        {Drop("site/config.php"), kError, 18, "the additional file"},
        {Config({{18, "File1=..\\outside.php"}}), kError, 18, "lies outside the stack"},
        {Put("site/config.php", "<?php $h = '%RMHUB:HOTS%';\n"), kError, 1,
         "did you mean %RMHUB:HOST%?", "site/config.php"},
        // The encrypted archive.
        {Pack("dbdir", "not the built-in"), kError, 0, "does not open", "dbdir.aes"},
        {Pack("empty", ArchivePassPhrase()), kError, 0, "holds nothing under dbdir/", "dbdir.aes"},
        // A mirror folder that the end of a run would delete.
        {Config({{12, "DeleteDatabaseFiles=1"}, {13, "MirrorFolder={MD}"}}), kError, 13,
         "DeleteDatabaseFiles=1 would delete MirrorFolder"},
        {[](CleanStack& s) {
             Config({{12, "DeleteDatabaseFiles=1"}, {13, "MirrorFolder=" + s.dir.path()}})(s);
         },
         kError, 13, "the stack's folder, or holds it"},
        {Config({{12, "DeleteDatabaseFiles=1"}, {13, "MirrorFolder=mirror"}}), kError, 13,
         "not absolute"},
        // No configuration at all: every key has its default, which the clean stack's files match
        // but for the splash picture.
        {[](CleanStack& s) {
             Drop(kHub)(s);
             Put("splash.bmp", "BM")(s);
         },
         kWarning, 0, "every setting at its default"},
    };

    for (const auto& m : mistakes) {
        SCOPED_TRACE(m.says);
        CleanStack stack;
        m.change(stack);
        const std::vector<CheckFinding> findings = CheckStack(stack.root, ArchivePassPhrase());
        ASSERT_EQ(findings.size(), 1u) << Describe(findings);
        const CheckFinding& f = findings[0];
        EXPECT_EQ(f.severity, m.severity) << Describe(findings);
        EXPECT_EQ(f.file, Native(m.file));
        EXPECT_EQ(f.line, m.line);
        EXPECT_NE(f.message.find(m.says), std::string::npos) << f.message;
        EXPECT_EQ(CheckExitCode(findings), m.severity == kError ? 2 : 1);
    }
    // The worst finding decides the exit code, wherever it stands.
    CheckFinding warning;
    warning.severity = kWarning;
    EXPECT_EQ(CheckExitCode({CheckFinding(), warning}), 2);
}

// A mirror folder of its own may be deleted; the archive opens with the pass phrase given.
TEST(StackCheck, CleanStacksGiveNoFinding) {
    const std::pair<Change, std::string> rows[] = {
        {[](CleanStack&) {}, ArchivePassPhrase()},
        {Config({{12, "DeleteDatabaseFiles=1"}, {13, "MirrorFolder={TMP}trailhost-check-mirror"}}),
         ArchivePassPhrase()},
        {Pack("dbdir", "site secret"), "site secret"},
    };
    for (const auto& [change, phrase] : rows) {
        CleanStack stack;
        change(stack);
        // The archive is opened in a folder of its own in the temporary folder, which goes again.
        const TempDir temp;
        const ScopedEnv tmp(kSep == "/" ? "TMPDIR" : "TMP", temp.path());
        EXPECT_EQ(Describe(CheckStack(stack.root, phrase)), Describe({}));
        EXPECT_TRUE(std::filesystem::is_empty(temp.path()));
    }
}

// Steps in order, each editing the stack's configuration before the tool runs.
TEST(StackCheck, TheToolPrintsLinesOrJsonAndExitsWithTheWorstFinding) {
    CleanStack stack;
    const std::string& root = stack.root;
    const struct {
        std::vector<std::pair<size_t, std::string>> edits;
        std::vector<std::string> args;
        int code;
        std::vector<std::string> says;  // parts of what it prints
    } steps[] = {
        // An error before a warning.
        {{{6, "Port=0"}, {19, "Colour=red"}},
         {"check", root},
         2,
         {"hub_config.ini:6: error: Port=0 is no port number", "hub_config.ini:19: warning: Colour",
          "1 error, 1 warning"}},
        {{},
         {"check", "--json", root},
         2,
         {"\"errors\": 1, \"warnings\": 1",
          "{\"severity\": \"error\", \"file\": \"hub_config.ini\", \"line\": 6, "
          "\"message\": \"Port=0 is no port number (1 to 65535)\"}"}},
        {{{6, "Port=7452"}}, {"check", root}, 1, {}},
        // What JSON cannot hold as it is comes escaped.
        {{{19, "Co\"l\\o\tur\x01=red"}},
         {"check", "--json", root},
         1,
         {"\"message\": \"Co\\\"l\\\\o\\tur\\u0001 is no key"}},
        {{{19, "; no finding"}}, {"check", root}, 0, {"no problems found"}},
        {{}, {"check", "--json", root}, 0, {"\"findings\": []"}},
        // A stack whose archive needs the pass phrase of a file, and command lines that are wrong.
        {{}, {"check", "--passphrase-file", stack.dir / "missing.txt", root}, 2, {}},
        {{}, {"check"}, 2, {}},
        {{}, {"check", "--colour", root}, 2, {}},
        {{}, {"check", stack.dir / "no-such-stack"}, 2, {"not a folder"}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.args.back());
        Config(step.edits)(stack);
        std::ostringstream out;
        PackToolIo io{out, out, [](const std::string&) { return std::nullopt; }};
        EXPECT_EQ(RunPackTool(step.args, io), step.code) << out.str();
        for (const std::string& part : step.says) {
            EXPECT_NE(out.str().find(part), std::string::npos) << out.str();
        }
    }
}
