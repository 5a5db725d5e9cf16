#include "stack/templates.h"

#include "stack/run_journal.h"

#include <gtest/gtest.h>

#include "sys/files.h"
#include "sys/folders.h"
#include "test_support.h"

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

const std::string kSep(1, kPathSeparator);

// What a line end of a template written with "\n" becomes in the output (text mode).
#ifdef _WIN32
const std::string kEol = "\r\n";
#else
const std::string kEol = "\n";
#endif

// Expands a template given as text, written and read back in text mode, so that "\n" stands for
// the platform's line end on both sides.
std::string Expand(const std::string& text, const Placeholders& placeholders) {
    TempDir dir;
    {
        UniqueFile in = OpenFile(dir / "in.tpl", "w");
        std::fputs(text.c_str(), in.get());
    }
    EXPECT_TRUE(ExpandTemplate(dir / "in.tpl", dir / "out", placeholders));
    UniqueFile out = OpenFile(dir / "out", "r");
    std::string result;
    char buffer[512];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof(buffer), out.get())) > 0) {
        result.append(buffer, got);
    }
    return result;
}

RunValues SampleRun(const std::string& app) {
    RunValues run;
    run.exeFolder = app;
    run.appFolder = app;
    run.runtimeFolder = app + "rt" + kSep;
    run.dbFolder = app + "dbdir" + kSep;
    run.docRootName = "htdocs";
    run.hostName = "myhost";
    run.webPort = 8080;
    run.mySqlPort = 3307;
    return run;
}

TEST(ReplaceExact, ReplacesEveryOccurrenceOnceWithExactCase) {
    EXPECT_EQ(ReplaceExact("a%X%b%X%", "%X%", "1"), "a1b1");
    EXPECT_EQ(ReplaceExact("%x%", "%X%", "1"), "%x%");
    // The replacement is not searched again.
    EXPECT_EQ(ReplaceExact("%X%", "%X%", "%X%%X%"), "%X%%X%");
    EXPECT_EQ(ReplaceExact("aaa", "aa", "b"), "ba");
}

TEST(ExpandTemplate, ReplacesPlaceholdersLineByLine) {
    const Placeholders p = HttpdConfPlaceholders(SampleRun("E" + kSep));
    EXPECT_EQ(Expand("Listen %RMHUB:PORT%\n", p), "Listen 8080\n");
    EXPECT_EQ(Expand("%RMHUB:PORT% %RMHUB:HOST% %RMHUB:PORT% %RMHUB:HOST%\n", p),
              "8080 myhost 8080 myhost\n");
    EXPECT_EQ(Expand("Listen %rmhub:port% %RMHUB:Port%\n", p),
              "Listen %rmhub:port% %RMHUB:Port%\n");
    // Only the database server's file knows the address placeholder.
    EXPECT_EQ(Expand("bind %RMHUB:MYSQLIP%\n", p), "bind %RMHUB:MYSQLIP%\n");
    EXPECT_EQ(Expand("no end of line", p), "no end of line");
    EXPECT_EQ(Expand("", p), "");
}

TEST(ExpandTemplate, KeepsWindowsLineEnds) {
    TempDir dir;
    WriteFile(dir / "in", "Port %RMHUB:PORT%\r\nHost %RMHUB:HOST%\r\n\r\nend\r\n");
    ASSERT_TRUE(
        ExpandTemplate(dir / "in", dir / "out", HttpdConfPlaceholders(SampleRun("E" + kSep))));
    EXPECT_EQ(ReadFile(dir / "out"), "Port 8080\r\nHost myhost\r\n\r\nend\r\n");
}

TEST(ExpandTemplate, ReadsLongLinesInPiecesOf4095Characters) {
    const Placeholders p = HttpdConfPlaceholders(SampleRun("E" + kSep));
    // A placeholder cut by the piece boundary stays; one wholly inside a piece does not.
    const std::string cut = std::string(4090, 'a') + "%RMHUB:PORT%" + "b";
    const std::string inside = std::string(4095, 'a') + "%RMHUB:PORT%";
    EXPECT_EQ(Expand(cut + "\n", p), cut + "\n");
    EXPECT_EQ(Expand(inside + "\n", p), std::string(4095, 'a') + "8080\n");
    const std::string plain(10000, 'z');
    EXPECT_EQ(Expand(plain + "\nnext %RMHUB:PORT%\n", p), plain + "\nnext 8080\n");
}

TEST(ExpandTemplate, SkipsWhatCannotBeOpened) {
    TempDir dir;
    EXPECT_FALSE(ExpandTemplate(dir / "missing", dir / "out", {}));
    EXPECT_FALSE(PathExists(dir / "out"));
    WriteFile(dir / "in", "x\n");
    EXPECT_FALSE(ExpandTemplate(dir / "in", dir / "no" + kSep + "out", {}));
}

TEST(Placeholders, MyIniGetsDoubledFolders) {
    RunValues run = SampleRun("E:\\stack\\");
    run.runtimeFolder = "C:\\TEMP\\Trailhost_1\\";
    run.dbFolder = "E:\\stack\\dbdir\\";
    const Placeholders p = MyIniPlaceholders(run, "127.0.0.1");
    EXPECT_EQ(Expand("%RMHUB:SRVDIR%|%RMHUB:BASEDIR%|%RMHUB:RTDIR%|%RMHUB:DBDIR%\n", p),
              "E:\\\\stack\\\\server" + kSep +
                  "|E:\\\\stack\\\\|C:\\\\TEMP\\\\Trailhost_1\\\\|"
                  "E:\\\\stack\\\\dbdir\\\\\n");
    EXPECT_EQ(Expand("%RMHUB:MYSQLIP%:%RMHUB:MYSQLPRT% %RMHUB:PORT% %RMHUB:HOST%\n", p),
              "127.0.0.1:3307 8080 myhost\n");
    EXPECT_EQ(MySqlAddress(false), "127.0.0.1");
    EXPECT_EQ(MySqlAddress(true), GetLocalIpAddress(0));
}

TEST(Placeholders, PlainFoldersInTheOtherFiles) {
#ifdef _WIN32
    const std::string app = "E:\\stack\\";
#else
    const std::string app = "/media/stack/";
#endif
    const RunValues run = SampleRun(app);
    const std::string line =
        "%RMHUB:SRVDIR%|%RMHUB:BASEDIR%|%RMHUB:RTDIR%|%RMHUB:DBDIR%|%RMHUB:DOCROOT%|"
        "%RMHUB:MYSQLPRT%\n";
    const std::string expected = app + "server" + kSep + "|" + app + "|" + app + "rt" + kSep + "|" +
                                 app + "dbdir" + kSep + "|" + app + "htdocs|3307\n";
    EXPECT_EQ(Expand(line, HttpdConfPlaceholders(run)), expected);
    EXPECT_EQ(Expand(line, PhpIniPlaceholders(run)), expected);
    EXPECT_EQ(Expand(line, AdditionalFilePlaceholders(run)), expected);
}

TEST(Placeholders, DocumentRootWithADriveOrAbsolutePathStandsAlone) {
#ifdef _WIN32
    const std::string root = "D:\\www";
    const std::string doubled = "D:\\\\www";
#else
    const std::string root = "/srv/www";
    const std::string doubled = "/srv/www";
#endif
    RunValues run = SampleRun("E" + kSep);
    run.docRootName = root;
    EXPECT_EQ(ResolveDocumentRoot(run.exeFolder, root), root);
    EXPECT_EQ(ResolveDocumentRoot("E" + kSep, "site"), "E" + kSep + "site");
    EXPECT_EQ(Expand("%RMHUB:DOCROOT%\n", HttpdConfPlaceholders(run)), root + "\n");
    EXPECT_EQ(Expand("%RMHUB:DOCROOT%\n", PhpIniPlaceholders(run)), root + "\n");
    EXPECT_EQ(Expand("%RMHUB:DOCROOT%\n", AdditionalFilePlaceholders(run)), root + "\n");
    EXPECT_EQ(Expand("%RMHUB:DOCROOT%\n", MyIniPlaceholders(run, "127.0.0.1")), doubled + "\n");
}

// A stack folder with the three templates.
struct StackFolder {
    TempDir dir;
    AppSettings settings;
    RunValues run;

    StackFolder() {
        settings.pathToHttpdConf = "server\\config_tpl\\httpd.conf";
        settings.pathToMyIni = "server\\config_tpl\\my.ini";
        settings.pathToPhpIni = "server\\config_tpl\\php.ini";
        const std::string templates = dir / "server" + kSep + "config_tpl" + kSep;
        CreateFolders(templates);
        WriteFile(templates + "httpd.conf", "Listen %RMHUB:PORT%\n");
        WriteFile(templates + "my.ini", "port=%RMHUB:MYSQLPRT%\n");
        WriteFile(templates + "php.ini", "x=%RMHUB:HOST%\n");
        run = SampleRun(dir.path());
        CreateFolders(run.runtimeFolder);
    }
};

TEST(ConfigFiles, AreWrittenIntoTheRuntimeFolder) {
    StackFolder stack;
    const ConfigFolders folders = ProduceConfigFiles(stack.settings, stack.run, "127.0.0.1");
    EXPECT_EQ(folders.httpdConf, stack.run.runtimeFolder);
    EXPECT_EQ(folders.myIni, stack.run.runtimeFolder);
    EXPECT_EQ(folders.phpIni, stack.run.runtimeFolder);
    EXPECT_EQ(ReadFile(stack.run.runtimeFolder + "httpd.conf"), "Listen 8080" + kEol);
    EXPECT_EQ(ReadFile(stack.run.runtimeFolder + "my.ini"), "port=3307" + kEol);
    EXPECT_EQ(ReadFile(stack.run.runtimeFolder + "php.ini"), "x=myhost" + kEol);
}

TEST(ConfigFiles, GoIntoTheServerFoldersWhenStartedLocally) {
    StackFolder stack;
    stack.settings.startLocal = 1;
    const std::string server = stack.run.exeFolder + kSep + "server" + kSep;
    const ConfigFolders folders = ConfigOutputFolders(stack.settings, stack.run);
    EXPECT_EQ(folders.httpdConf, server + "apache" + kSep + "conf" + kSep);
    EXPECT_EQ(folders.myIni, server + "mysql" + kSep);
    EXPECT_EQ(folders.phpIni, server + "php" + kSep);
    CreateFolders(folders.httpdConf);
    CreateFolders(folders.phpIni);
    // The database server's folder is missing: its file is skipped, the others are written.
    ProduceConfigFiles(stack.settings, stack.run, "127.0.0.1");
    EXPECT_EQ(ReadFile(folders.httpdConf + "httpd.conf"), "Listen 8080" + kEol);
    EXPECT_FALSE(PathExists(folders.myIni + "my.ini"));
    EXPECT_EQ(ReadFile(folders.phpIni + "php.ini"), "x=myhost" + kEol);
}

TEST(ConfigFiles, AMissingTemplateIsSkipped) {
    StackFolder stack;
    stack.settings.pathToMyIni = "server\\config_tpl\\missing.ini";
    ProduceConfigFiles(stack.settings, stack.run, "127.0.0.1");
    EXPECT_FALSE(PathExists(stack.run.runtimeFolder + "my.ini"));
    EXPECT_TRUE(PathExists(stack.run.runtimeFolder + "httpd.conf"));
}

TEST(AdditionalFiles, AreExpandedInPlaceAndPutBack) {
    StackFolder stack;
    const std::string original = "url=http://%RMHUB:HOST%:%RMHUB:PORT%/\r\n";
    CreateFolders(stack.dir / "htdocs");
    WriteFile(stack.dir / "htdocs" + kSep + "config.php", original);
    stack.settings.additionalFiles = {"", "htdocs\\config.php", "missing.txt"};
    stack.settings.additionalFiles.resize(10);

    const std::vector<ExpandedFile> expanded = ExpandAdditionalFiles(stack.settings, stack.run);
    const std::string file = stack.dir / "htdocs" + kSep + "config.php";
    ASSERT_EQ(expanded.size(), 1u);
    EXPECT_EQ(expanded[0].file, file);
    EXPECT_EQ(expanded[0].backup, file + ".bak");
    EXPECT_EQ(ReadFile(file), "url=http://myhost:8080/\r\n");
    EXPECT_EQ(ReadFile(file + ".bak"), original);
    EXPECT_FALSE(PathExists(stack.dir / "missing.txt.bak"));
    EXPECT_FALSE(PathExists(stack.dir / "missing.txt"));

    EXPECT_TRUE(RestoreAdditionalFile(expanded[0]));
    EXPECT_EQ(ReadFile(file), original);
    EXPECT_FALSE(PathExists(file + ".bak"));
    // Nothing left to put back is no failure.
    EXPECT_TRUE(RestoreAdditionalFile(expanded[0]));
}

// Backups that are there before the run belong to the site's author: the run keeps its own under
// the first free name, writes that name down, and puts back only from it.
TEST(AdditionalFiles, TheAuthorsBackupsAreNeverOverwrittenNorPutBack) {
    const struct {
        std::vector<std::string> authors;
        std::string ours;
    } cases[] = {
        {{}, ".bak"},
        {{".bak"}, ".trh-bak"},
        {{".bak", ".trh-bak"}, ".trh-bak2"},
        {{".bak", ".trh-bak", ".trh-bak2"}, ".trh-bak3"},
    };
    for (const auto& c : cases) {
        StackFolder stack;
        const std::string original = "port=%RMHUB:PORT%\n";
        const std::string file = stack.dir / "config.php";
        WriteFile(file, original);
        for (const std::string& suffix : c.authors) {
            WriteFile(file + suffix, "the author's " + suffix);
        }
        stack.settings.additionalFiles = {"config.php"};

        const std::vector<ExpandedFile> expanded = ExpandAdditionalFiles(stack.settings, stack.run);
        ASSERT_EQ(expanded.size(), 1u) << c.ours;
        EXPECT_EQ(expanded[0].backup, file + c.ours);
        EXPECT_EQ(ReadFile(file), "port=8080" + kEol);
        EXPECT_EQ(ReadFile(file + c.ours), original);
        const std::vector<JournalEntry> journal = ReadJournal(stack.run.runtimeFolder);
        ASSERT_EQ(journal.size(), 1u);
        EXPECT_EQ(journal[0].kind, journal::kFile);
        EXPECT_EQ(journal[0].fields, (std::vector<std::string>{file, file + c.ours}));

        EXPECT_TRUE(RestoreAdditionalFile(expanded[0]));
        EXPECT_EQ(ReadFile(file), original);
        EXPECT_FALSE(PathExists(file + c.ours));
        for (const std::string& suffix : c.authors) {
            EXPECT_EQ(ReadFile(file + suffix), "the author's " + suffix);
        }
    }
}

}  // namespace
