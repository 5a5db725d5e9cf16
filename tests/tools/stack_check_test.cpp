#include "pack/stack_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <sstream>

#include "pack/pack_tool.h"
#include "stack/account_texts.h"
#include "stack/database_server.h"
#include "sys/files.h"
#include "sys/folders.h"
#include "test_support.h"

using testsupport::kExe;
using testsupport::Native;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// A relative path written with '/' in the platform's form.

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
        for (const char* folder : {"server/Apache", "server/mysql/bin", "server/mysql/share",
                                   "server/config_tpl", "htdocs", "dbdir/site", "site"}) {
            CreateFolders(In(folder));
        }
        WriteFile(In("server/Apache/Apache" + kExe), "");
        WriteFile(In("server/mysql/bin/" + DatabaseServerFileName()), "");
        WriteFile(In("server/mysql/bin/" + DatabaseAdminFileName()), "");
        WriteFile(In("server/config_tpl/httpd.conf"),
                  "ServerRoot \"%RMHUB:SRVDIR%Apache\"\n"
                  "Listen %RMHUB:PORT%\n"
                  "DocumentRoot \"%RMHUB:DOCROOT%\"\n"
                  "# A comment may name %RMHUB:...% or %RMHUB:MYSQLIP%: it does no harm.\n");
        WriteFile(In("server/config_tpl/my.ini"),
                  "[mysqld]\n"
                  "datadir=%RMHUB:DBDIR%\n"
                  "port=%RMHUB:MYSQLPRT%\n"
                  "bind-address=%RMHUB:MYSQLIP%\n");
        WriteFile(In("server/config_tpl/php.ini"),
                  "session.save_path = \"%RMHUB:RTDIR%session\"\n"
                  "mysqli.default_port = %RMHUB:MYSQLPRT%\n");
        WriteFile(In("htdocs/index.php"), "<?php echo 'site';\n");
        WriteFile(In("dbdir/site/t.frm"), "table");
        WriteFile(In("site/config.php"), "<?php $port = %RMHUB:MYSQLPRT%;\n");
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
        const char* what;
        Change change;
        CheckFinding::Severity severity;
        const char* file;  // with '/'
        int line;
        const char* says;  // a part of the message
    } mistakes[] = {
        // The configuration's lines.
        {"a misspelt key", Config({{6, "Prot=7452"}}), kError, kHub, 6, "did you mean Port?"},
        {"a key known from another section", Config({{3, "DeleteHttpTemp=1"}}), kError, kHub, 3,
         "DeleteHttpTemp belongs in [http]"},
        {"a misspelt section", Config({{9, "[Browsr]"}}), kError, kHub, 9,
         "did you mean [Browser]?"},
        {"a section of no known name", Config({{17, "[Extras]"}, {18, "Colour=red"}}), kWarning,
         kHub, 17, "no section the launcher reads"},
        {"a section repeated", Config({{19, "[General]"}}), kWarning, kHub, 19,
         "appears already at line 2"},
        {"a key of no known name", Config({{7, "Colour=red"}}), kWarning, kHub, 7,
         "Colour is no key the launcher reads"},
        {"a key set twice", Config({{7, "Port=8080"}}), kWarning, kHub, 7, "set already at line 6"},
        {"a key before every section", Config({{1, "UseMySQL=1"}}), kError, kHub, 1,
         "before every section"},
        {"a key line without '='", Config({{7, "HostName"}}), kWarning, kHub, 7, "has no '='"},
        // The values.
        {"an unknown browser type", Config({{10, "BrowserType=Opera"}}), kError, kHub, 10,
         "no browser type the launcher knows"},
        {"a port out of range", Config({{6, "Port=70000"}}), kError, kHub, 6, "no port number"},
        {"a port that is no number", Config({{13, "MySQLPort=db"}}), kError, kHub, 13,
         "is no number"},
        {"a boolean written as yes", Config({{8, "DeleteHttpTemp=yes"}}), kError, kHub, 8,
         "reads as 0"},
        {"a switch that only 1 turns on", Config({{3, "StartLocal=2"}}), kWarning, kHub, 3,
         "acts like 0"},
        {"a browser size of no known form", Config({{10, "BrowserSize=large"}}), kError, kHub, 10,
         "BrowserSize=large"},
        // Programs, folders and files.
        {"the web server missing", Drop("server/Apache/Apache" + kExe), kError, kHub, 15,
         "the web server"},
        {"the database server missing", Drop("server/mysql/bin/" + DatabaseServerFileName()),
         kError, kHub, 16, "the database server "},
        {"the database's administration tool missing",
         Drop("server/mysql/bin/" + DatabaseAdminFileName()), kError, kHub, 16,
         "administration tool"},
        {"the web server's template missing", Drop(kHttpd), kError, kHub, 0,
         "the web server's template"},
        {"the database's template missing", Drop(kMyIni), kError, kHub, 0,
         "the database server's template"},
        {"the document root missing", Drop("htdocs"), kError, kHub, 0, "the document root"},
        {"the database folder missing", Drop("dbdir"), kError, kHub, 12, "the database folder"},
        {"the splash picture missing", Config({{4, "UseSplash=1"}}), kError, kHub, 4,
         "Failed to load Splash"},
        // Templates.
        {"a fixed Listen", Put(kHttpd, "ServerName x\nListen 80\n"), kError, kHttpd, 2,
         "Listen 80 is fixed"},
        {"no Listen at all", Put(kHttpd, "ServerName x\n"), kError, kHttpd, 0, "no Listen line"},
        {"a fixed datadir", Put(kMyIni, "[mysqld]\nport=%RMHUB:MYSQLPRT%\ndatadir = C:\\data\n"),
         kError, kMyIni, 3, "datadir is fixed"},
        {"a fixed database port",
         Put(kMyIni, "[mysqld]\ndatadir=%RMHUB:DBDIR%\n[client]\nport=3306\n"), kError, kMyIni, 4,
         "port is fixed to 3306"},
        {"a misspelt placeholder", Put(kPhpIni, "mysqli.default_port = %RMHUB:MYSQLPORT%\n"),
         kError, kPhpIni, 1, "did you mean %RMHUB:MYSQLPRT%?"},
        {"a placeholder in lower case", Put(kHttpd, "\nListen %rmhub:port%\n"), kError, kHttpd, 2,
         "did you mean %RMHUB:PORT%?"},
        {"a placeholder without its closing %", Put(kPhpIni, "x = %RMHUB:RTDIR\n"), kError, kPhpIni,
         1, "%RMHUB:RTDIR is no placeholder"},
        {"the database address outside my.ini",
         Put(kPhpIni, "\n\nmysqli.default_host = %RMHUB:MYSQLIP%\n"), kError, kPhpIni, 3,
         "not filled in php.ini"},
        // Additional files.
        {"an additional file missing", Drop("site/config.php"), kError, kHub, 18,
         "the additional file"},
        {"an additional file outside the stack", Config({{18, "File1=..\\outside.php"}}), kError,
         kHub, 18, "lies outside the stack"},
        {"an additional file with a misspelt placeholder",
         Put("site/config.php", "<?php $h = '%RMHUB:HOTS%';\n"), kError, "site/config.php", 1,
         "did you mean %RMHUB:HOST%?"},
        // The encrypted archive.
        {"an archive of another pass phrase", Pack("dbdir", "not the built-in"), kError,
         "dbdir.aes", 0, "does not open"},
        {"an archive without a database", Pack("empty", ArchivePassPhrase()), kError, "dbdir.aes",
         0, "holds nothing under dbdir/"},
        // A mirror folder that the end of a run would delete.
        {"a mirror that is the documents folder",
         Config({{12, "DeleteDatabaseFiles=1"}, {13, "MirrorFolder={MD}"}}), kError, kHub, 13,
         "DeleteDatabaseFiles=1 would delete MirrorFolder"},
        {"a mirror that holds the stack",
         [](CleanStack& s) {
             Config({{12, "DeleteDatabaseFiles=1"}, {13, "MirrorFolder=" + s.dir.path()}})(s);
         },
         kError, kHub, 13, "the stack's folder, or holds it"},
        {"a mirror that is no absolute folder",
         Config({{12, "DeleteDatabaseFiles=1"}, {13, "MirrorFolder=mirror"}}), kError, kHub, 13,
         "not absolute"},
        // No configuration at all: every key has its default, which the clean stack's files match
        // but for the splash picture.
        {"no hub_config.ini",
         [](CleanStack& s) {
             Drop(kHub)(s);
             Put("splash.bmp", "BM")(s);
         },
         kWarning, kHub, 0, "every setting at its default"},
    };

    {
        CleanStack clean;
        clean.WriteConfig();
        const std::vector<CheckFinding> none = CheckStack(clean.root, ArchivePassPhrase());
        EXPECT_TRUE(none.empty()) << Describe(none);
        EXPECT_EQ(CheckExitCode(none), 0);
    }
    for (const auto& m : mistakes) {
        SCOPED_TRACE(m.what);
        CleanStack stack;
        stack.WriteConfig();
        m.change(stack);
        const std::vector<CheckFinding> findings = CheckStack(stack.root, ArchivePassPhrase());
        if (findings.size() != 1u) {
            ADD_FAILURE() << "not one finding:\n" << Describe(findings);
            continue;
        }
        const CheckFinding& f = findings[0];
        EXPECT_EQ(f.severity, m.severity) << Describe(findings);
        EXPECT_EQ(f.file, Native(m.file));
        EXPECT_EQ(f.line, m.line);
        EXPECT_NE(f.message.find(m.says), std::string::npos) << f.message;
        EXPECT_EQ(CheckExitCode(findings), m.severity == kError ? 2 : 1);
    }
    // The worst finding decides the exit code, wherever it stands.
    CheckFinding error;
    CheckFinding warning;
    warning.severity = kWarning;
    EXPECT_EQ(CheckExitCode({error, warning}), 2);
}

TEST(StackCheck, AMirrorFolderOfItsOwnMayBeDeleted) {
    CleanStack stack;
    stack.WriteConfig();
    Config({{12, "DeleteDatabaseFiles=1"}, {13, "MirrorFolder={TMP}trailhost-check-mirror"}})(
        stack);
    const std::vector<CheckFinding> findings = CheckStack(stack.root, ArchivePassPhrase());
    EXPECT_TRUE(findings.empty()) << Describe(findings);
}

TEST(StackCheck, TheArchiveOpensWithThePassPhraseGiven) {
    CleanStack stack;
    stack.WriteConfig();
    Pack("dbdir", "site secret")(stack);
    EXPECT_TRUE(CheckStack(stack.root, "site secret").empty());
    EXPECT_EQ(CheckStack(stack.root, ArchivePassPhrase()).size(), 1u);
}

TEST(StackCheck, TheToolPrintsLinesOrJsonAndExitsWithTheWorstFinding) {
    CleanStack stack;
    stack.config[5] = "Port=0";            // line 6: an error
    stack.config.push_back("Colour=red");  // line 19: a warning
    stack.WriteConfig();
    WriteFile(stack.dir / "phrase.txt", "not the archive's\n");
    const auto run = [](const std::vector<std::string>& args, std::string& out) {
        std::ostringstream o;
        std::ostringstream e;
        PackToolIo io{o, e, [](const std::string&) { return std::nullopt; }};
        const int code = RunPackTool(args, io);
        out = o.str() + e.str();
        return code;
    };
    std::string out;
    ASSERT_EQ(run({"check", stack.root}, out), 2);
    EXPECT_NE(out.find("hub_config.ini:6: error: Port=0 is no port number"), std::string::npos)
        << out;
    EXPECT_NE(out.find("hub_config.ini:19: warning: Colour"), std::string::npos) << out;
    EXPECT_NE(out.find("1 error, 1 warning"), std::string::npos) << out;

    ASSERT_EQ(run({"check", "--json", stack.root}, out), 2);
    EXPECT_NE(out.find("\"errors\": 1, \"warnings\": 1"), std::string::npos) << out;
    EXPECT_NE(out.find("{\"severity\": \"error\", \"file\": \"hub_config.ini\", \"line\": 6, "
                       "\"message\": \"Port=0 is no port number (1 to 65535)\"}"),
              std::string::npos)
        << out;

    stack.config[5] = "Port=7452";
    stack.WriteConfig();
    EXPECT_EQ(run({"check", stack.root}, out), 1) << out;
    stack.config.pop_back();
    stack.WriteConfig();
    EXPECT_EQ(run({"check", stack.root}, out), 0) << out;
    EXPECT_NE(out.find("no problems found"), std::string::npos) << out;
    EXPECT_EQ(run({"check", "--json", stack.root}, out), 0);
    EXPECT_NE(out.find("\"findings\": []"), std::string::npos) << out;

    // A stack whose archive needs the pass phrase of a file, and command lines that are wrong.
    EXPECT_EQ(run({"check", "--passphrase-file", stack.dir / "missing.txt", stack.root}, out), 2);
    EXPECT_EQ(run({"check"}, out), 2);
    EXPECT_EQ(run({"check", "--colour", stack.root}, out), 2);
    EXPECT_EQ(run({"check", stack.dir / "no-such-stack"}, out), 2);
    EXPECT_NE(out.find("not a folder"), std::string::npos) << out;
}
