#include "stack/templates.h"

#include "stack/run_journal.h"

#include <gtest/gtest.h>

#include "sys/files.h"
#include "stack_layout.h"

using namespace testsupport;

namespace {

#ifdef _WIN32
const std::string kApp = "E:\\stack\\";
const std::string kRoot = "D:\\www";
// The folders of SampleRun(kApp) and kRoot, doubled but for the server folder's last separator.
const std::string kDoubled =
    "E:\\\\stack\\\\server\\|E:\\\\stack\\\\|E:\\\\stack\\\\rt\\\\|E:\\\\stack\\\\dbdir\\\\|D:"
    "\\\\www";
#else
// A backslash in a Linux folder's name is doubled in my.ini too: the server reads it as an escape.
const std::string kApp = "/media/st\\ick/";
const std::string kRoot = "/srv/www";
const std::string kDoubled =
    "/media/st\\\\ick/server/|/media/st\\\\ick/|/media/st\\\\ick/rt/|/media/st\\\\ick/dbdir/|"
    "/srv/www";
#endif

// Expands template bytes (line ends written "\r\n" come out as they are on both platforms).
std::string Expand(const std::string& bytes, const Placeholders& placeholders) {
    TempDir dir;
    WriteFile(dir / "in.tpl", bytes);
    EXPECT_TRUE(ExpandTemplate(dir / "in.tpl", dir / "out", placeholders));
    return ReadFile(dir / "out");
}

TEST(ExpandTemplate, ReplacesEachPlaceholderLineByLineInPiecesOf4095) {
    const Placeholders web = HttpdConfPlaceholders(SampleRun(kApp));
    const std::string a4090(4090, 'a');
    const std::string z10k(10000, 'z');
    const struct {
        const char* what;
        Placeholders placeholders;
        std::string in, out;
    } rows[] = {
        {"every occurrence", web, "%RMHUB:PORT% %RMHUB:HOST% %RMHUB:PORT%", "8080 myhost 8080"},
        {"exact case only", web, "%rmhub:port% %RMHUB:Port%", "%rmhub:port% %RMHUB:Port%"},
        {"no address outside my.ini", web, "%RMHUB:MYSQLIP%", "%RMHUB:MYSQLIP%"},
        {"Windows line ends kept", web, "P %RMHUB:PORT%\r\n\r\nend\r\n", "P 8080\r\n\r\nend\r\n"},
        {"empty", web, "", ""},
        {"values not searched again", {{"%X%", "%X%%X%"}, {"aa", "b"}}, "%X% aaa", "%X%%X% ba"},
        {"a piece boundary cuts one", web, a4090 + "%RMHUB:PORT%", a4090 + "%RMHUB:PORT%"},
        {"one whole in the next piece", web, a4090 + "aaaaa%RMHUB:PORT%", a4090 + "aaaaa8080"},
        {"a long line, then the next", web, z10k + "\r\n%RMHUB:PORT%", z10k + "\r\n8080"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Expand(row.in, row.placeholders), row.out) << row.what;
    }
}

// The folders in my.ini doubled, as the database server reads them; a document root with a drive
// (an absolute path on Linux) stands alone.
TEST(ExpandTemplate, FillsInTheFoldersOfEachKindOfFile) {
    RunValues run = SampleRun(kApp);
    const std::string line = "%RMHUB:SRVDIR%|%RMHUB:BASEDIR%|%RMHUB:RTDIR%|%RMHUB:DBDIR%|";
    const std::string plain = kApp + "server" + kSep + "|" + kApp + "|" + kApp + "rt" + kSep + "|" +
                              kApp + "dbdir" + kSep + "|";
    const std::string more = "%RMHUB:DOCROOT%|%RMHUB:MYSQLPRT% %RMHUB:PORT% %RMHUB:HOST%";
    const std::string filled = kApp + "htdocs|3307 8080 myhost";
    for (const Placeholders& p :
         {HttpdConfPlaceholders(run), PhpIniPlaceholders(run), AdditionalFilePlaceholders(run)}) {
        EXPECT_EQ(Expand(line + more, p), plain + filled);
    }
    EXPECT_EQ(Expand("%RMHUB:MYSQLIP%:%RMHUB:MYSQLPRT% %RMHUB:PORT% %RMHUB:HOST%",
                     MyIniPlaceholders(run, MySqlAddress(false))),
              "127.0.0.1:3307 8080 myhost");
    run.docRootName = kRoot;
    for (const Placeholders& p :
         {HttpdConfPlaceholders(run), PhpIniPlaceholders(run), AdditionalFilePlaceholders(run)}) {
        EXPECT_EQ(Expand("%RMHUB:DOCROOT%", p), kRoot);
    }
    EXPECT_EQ(Expand(line + "%RMHUB:DOCROOT%", MyIniPlaceholders(run, "")), kDoubled);
}

TEST(ExpandTemplate, WritesNothingWithoutAnInputOrAnOutputFolder) {
    TempDir dir;
    EXPECT_FALSE(ExpandTemplate(dir / "missing", dir / "out", {}));
    EXPECT_FALSE(PathExists(dir / "out"));
    WriteFile(dir / "in", "x\n");
    EXPECT_FALSE(ExpandTemplate(dir / "in", dir / "no" + kSep + "out", {}));
}

// A stack folder with the three templates.
struct StackFolder {
    TempDir dir;
    AppSettings settings;
    RunValues run = SampleRun(dir.path());

    StackFolder() {
        settings.pathToHttpdConf = "server\\config_tpl\\httpd.conf";
        settings.pathToMyIni = "server\\config_tpl\\my.ini";
        settings.pathToPhpIni = "server\\config_tpl\\php.ini";
        const std::string templates = dir / "server" + kSep + "config_tpl" + kSep;
        CreateFolders(templates);
        WriteFile(templates + "httpd.conf", "Listen %RMHUB:PORT%\n");
        WriteFile(templates + "my.ini", "port=%RMHUB:MYSQLPRT%\n");
        WriteFile(templates + "php.ini", "x=%RMHUB:HOST%\n");
        CreateFolders(run.runtimeFolder);
    }
};

// Each file goes into the runtime folder, or with a local start into its server's folder; a
// missing template or output folder leaves that file out, and the others are written.
TEST(ConfigFiles, GoWhereTheStartPutsThemAndSkipWhatIsMissing) {
    for (const int startLocal : {0, 1}) {
        SCOPED_TRACE(startLocal);
        StackFolder stack;
        stack.settings.startLocal = startLocal;
        const std::string rt = stack.run.runtimeFolder;
        const std::string server = stack.run.exeFolder + kSep + "server" + kSep;
        const ConfigFolders expected =
            startLocal == 0 ? ConfigFolders{rt, rt, rt}
                            : ConfigFolders{server + "apache" + kSep + "conf" + kSep,
                                            server + "mysql" + kSep, server + "php" + kSep};
        // Here my.ini has no template; beside the servers php.ini has no folder.
        if (startLocal == 0) {
            stack.settings.pathToMyIni = "server\\config_tpl\\missing.ini";
        }
        CreateFolders(expected.httpdConf);
        CreateFolders(expected.myIni);
        const ConfigFolders folders = ProduceConfigFiles(stack.settings, stack.run, "127.0.0.1");
        EXPECT_EQ(folders.httpdConf + "|" + folders.myIni + "|" + folders.phpIni,
                  expected.httpdConf + "|" + expected.myIni + "|" + expected.phpIni);
        EXPECT_EQ(ReadFile(folders.httpdConf + "httpd.conf"), "Listen 8080" + kEol);
        EXPECT_EQ(ReadFile(folders.myIni + "my.ini"), startLocal == 1 ? "port=3307" + kEol : "");
        EXPECT_EQ(ReadFile(folders.phpIni + "php.ini"), startLocal == 0 ? "x=myhost" + kEol : "");
    }
}

// A site file is expanded in place and put back from its backup. Backups that are there before
// the run belong to the site's author: the run keeps its own under the first free name, writes
// that name down, and puts back only from it.
TEST(AdditionalFiles, AreExpandedInPlaceAndPutBackWithoutTouchingTheAuthorsBackups) {
    const struct {
        std::vector<std::string> authors;
        std::string ours;
    } rows[] = {
        {{}, ".bak"},
        {{".bak"}, ".trh-bak"},
        {{".bak", ".trh-bak"}, ".trh-bak2"},
        {{".bak", ".trh-bak", ".trh-bak2"}, ".trh-bak3"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.ours);
        StackFolder stack;
        const std::string original = "url=http://%RMHUB:HOST%:%RMHUB:PORT%/\r\n";
        CreateFolders(stack.dir / "htdocs");
        const std::string file = stack.dir / "htdocs" + kSep + "config.php";
        WriteFile(file, original);
        for (const std::string& suffix : row.authors) {
            WriteFile(file + suffix, "the author's " + suffix);
        }
        stack.settings.additionalFiles = {"", "htdocs\\config.php", "missing.txt", ""};

        const std::vector<ExpandedFile> expanded = ExpandAdditionalFiles(stack.settings, stack.run);
        ASSERT_EQ(expanded.size(), 1u);
        EXPECT_EQ(expanded[0].file, file);
        EXPECT_EQ(expanded[0].backup, file + row.ours);
        EXPECT_EQ(ReadFile(file), "url=http://myhost:8080/\r\n");
        EXPECT_EQ(ReadFile(file + row.ours), original);
        EXPECT_FALSE(PathExists(stack.dir / "missing.txt.bak"));
        EXPECT_FALSE(PathExists(stack.dir / "missing.txt"));
        const std::vector<JournalEntry> journal = ReadJournal(stack.run.runtimeFolder);
        ASSERT_EQ(journal.size(), 1u);
        EXPECT_EQ(journal[0].kind, journal::kFile);
        EXPECT_EQ(journal[0].fields, (std::vector<std::string>{file, file + row.ours}));

        EXPECT_TRUE(RestoreAdditionalFile(expanded[0]));
        EXPECT_EQ(ReadFile(file), original);
        EXPECT_FALSE(PathExists(file + row.ours));
        for (const std::string& suffix : row.authors) {
            EXPECT_EQ(ReadFile(file + suffix), "the author's " + suffix);
        }
        // Nothing left to put back is no failure.
        EXPECT_TRUE(RestoreAdditionalFile(expanded[0]));
    }
}

}  // namespace
