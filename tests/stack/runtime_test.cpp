#include "stack/runtime.h"

#include <gtest/gtest.h>

#include "sys/environment.h"
#include "sys/files.h"
#include "sys/folders.h"
#include "test_support.h"
#include "trailhost_version.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

const std::string kSep(1, kPathSeparator);

std::string ValueOf(const EnvironmentList& list, const std::string& name) {
    for (const auto& [key, value] : list) {
        if (key == name) {
            return value;
        }
    }
    return "<missing>";
}

// Puts an environment variable back at the end of a test.
class SavedVariable {
public:
    explicit SavedVariable(std::string name)
        : name_(std::move(name)), value_(GetEnvironmentValue(name_)) {}
    ~SavedVariable() { SetEnvironmentValue(name_, value_); }

private:
    std::string name_;
    std::string value_;
};

TEST(RuntimeFolder, IsNamedAfterTheProcessUnderTheTemporaryFolder) {
#ifdef _WIN32
    EXPECT_EQ(RuntimeFolderName("C:\\TEMP\\", 1234), "C:\\TEMP\\Trailhost_1234\\");
    EXPECT_EQ(RuntimeFolderName("C:\\TEMP", 1234), "C:\\TEMP\\Trailhost_1234\\");
    EXPECT_EQ(RuntimeFolderName("\\\\server\\tmp\\", 7), "\\\\server\\tmp\\Trailhost_7\\");
#else
    EXPECT_EQ(RuntimeFolderName("/tmp/", 1234), "/tmp/Trailhost_1234/");
    EXPECT_EQ(RuntimeFolderName("/var/tmp", 1234), "/var/tmp/Trailhost_1234/");
#endif
    EXPECT_EQ(SessionFolderName("X" + kSep), "X" + kSep + "session");
}

TEST(RuntimeFolder, IsANewPrivateFolderWithItsSessionFolder) {
    TempDir dir;
    const std::string runtime = CreateRuntimeFolder(dir.path(), 42, true);
    ASSERT_EQ(runtime, RuntimeFolderName(dir.path(), 42));
    EXPECT_TRUE(PathExists(runtime + "session"));
    EXPECT_EQ(ClaimOf(runtime), FolderClaim::kOurs);
#ifdef _WIN32
    EXPECT_TRUE(GetFileAttributesA(runtime.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(GetFileAttributesA((runtime + "session").c_str()) & FILE_ATTRIBUTE_HIDDEN);
#else
    // Whatever the umask: nobody else may even look inside.
    const mode_t umaskBefore = umask(0);
    const std::string second = CreateRuntimeFolder(dir.path(), 43, false);
    umask(umaskBefore);
    for (const std::string& folder : {runtime, runtime + "session", second, second + "session"}) {
        struct stat st {};
        ASSERT_EQ(stat(folder.c_str(), &st), 0) << folder;
        EXPECT_EQ(st.st_mode & 0777, 0700u) << folder;
    }
#endif
    // A second run of the same id never shares it.
    const std::string again = CreateRuntimeFolder(dir.path(), 42, true);
    EXPECT_NE(again, runtime);
    EXPECT_FALSE(again.empty());
}

TEST(RuntimeFolder, NoneWhenNoFolderCanBeMadeThere) {
    TempDir dir;
    WriteFile(dir / "file", "not a folder");
    EXPECT_EQ(CreateRuntimeFolder(dir / "file" + kSep, 42, false), "");
    EXPECT_FALSE(PathExists(dir / "file" + kSep + "Trailhost_42"));
}

RunValues SampleRun(const std::string& app) {
    RunValues run;
    run.exeFolder = app;
    run.appFolder = app;
#ifdef _WIN32
    run.runtimeFolder = "C:\\TEMP\\Trailhost_1234\\";
    run.dbFolder = "E:\\stack\\dbdir\\";
#else
    run.runtimeFolder = "/tmp/Trailhost_1234/";
    run.dbFolder = "/media/stack/dbdir/";
#endif
    run.docRootName = "htdocs";
    run.hostName = "myhost";
    run.webPort = 8080;
    run.mySqlPort = 3306;
    return run;
}

TEST(Environment, ElevenVariablesInTheirOrder) {
#ifdef _WIN32
    const std::string app = "E:\\stack\\";
#else
    const std::string app = "/media/stack/";
#endif
    AppSettings settings;
    settings.pathToMySqlBin = "server\\mysql\\bin";
    const RunValues run = SampleRun(app);
    const EnvironmentList env = StackEnvironment(settings, run, "OLD");

    std::vector<std::string> names;
    for (const auto& entry : env) {
        names.push_back(entry.first);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"TRH_EDITION", "PHPRC", "TRH_SERVER_SOFTWARE",
                                               "TRH_SERVER_APPROOT", "TRH_SERVER_DOCROOT",
                                               "TRH_DB_PATH", "TRH_TEMP_FOLDER", "TRH_APACHE_PORT",
                                               "TRH_BASE_URL", "TRH_MYSQL_PORT", "PATH"}));
    EXPECT_EQ(ValueOf(env, "TRH_EDITION"), "PS");
    EXPECT_EQ(ValueOf(env, "PHPRC"), run.runtimeFolder);
    EXPECT_EQ(ValueOf(env, "TRH_SERVER_SOFTWARE"), std::string("Trailhost ") + TRAILHOST_VERSION);
    EXPECT_EQ(ValueOf(env, "TRH_SERVER_APPROOT"), app);
    EXPECT_EQ(ValueOf(env, "TRH_SERVER_DOCROOT"), app + "htdocs");
    EXPECT_EQ(ValueOf(env, "TRH_DB_PATH"), run.dbFolder);
    EXPECT_EQ(ValueOf(env, "TRH_TEMP_FOLDER"), run.runtimeFolder);
    EXPECT_EQ(ValueOf(env, "TRH_APACHE_PORT"), "8080");
    EXPECT_EQ(ValueOf(env, "TRH_BASE_URL"), "http://myhost:8080");
    EXPECT_EQ(ValueOf(env, "TRH_MYSQL_PORT"), "3306");
#ifdef _WIN32
    EXPECT_EQ(ValueOf(env, "PATH"),
              "E:\\stack\\server\\Perl2\\Apache\\;E:\\stack\\server\\Perl2\\bin\\;;"
              "E:\\stack\\server\\php\\;OLD");
#else
    EXPECT_EQ(ValueOf(env, "PATH"),
              "/media/stack/server/Perl2/Apache/:/media/stack/server/Perl2/bin/:"
              "/media/stack/server/php/:OLD");
    // No empty element, which would stand for the current folder.
    EXPECT_EQ(ValueOf(StackEnvironment(settings, run, ""), "PATH"),
              "/media/stack/server/Perl2/Apache/:/media/stack/server/Perl2/bin/:"
              "/media/stack/server/php/");
#endif
}

TEST(Environment, LocalStartPointsPhpAtTheServerFolder) {
    AppSettings settings;
    settings.startLocal = 1;
#ifdef _WIN32
    const RunValues run = SampleRun("E:\\stack\\");
    EXPECT_EQ(ValueOf(StackEnvironment(settings, run, ""), "PHPRC"), "E:\\stack\\\\server\\php");
#else
    const RunValues run = SampleRun("/media/stack/");
    EXPECT_EQ(ValueOf(StackEnvironment(settings, run, ""), "PHPRC"), "/media/stack//server/php");
#endif
}

TEST(Environment, DocumentRootIsPlainlyAppended) {
    AppSettings settings;
    RunValues run = SampleRun("E" + kSep);
    run.docRootName = "www" + kSep + "site";
    EXPECT_EQ(ValueOf(StackEnvironment(settings, run, ""), "TRH_SERVER_DOCROOT"),
              "E" + kSep + "www" + kSep + "site");
}

TEST(Environment, EditionNamesTheDatabaseAndPerlWhenPresent) {
    TempDir dir;
    AppSettings settings;
    settings.pathToMySqlBin = "server\\mysql\\bin";
    const RunValues run = SampleRun(dir.path());
    EXPECT_EQ(ValueOf(StackEnvironment(settings, run, ""), "TRH_EDITION"), "PS");
    ASSERT_TRUE(CreateFolders(dir / "server" + kSep + "perl2"));
    EXPECT_EQ(ValueOf(StackEnvironment(settings, run, ""), "TRH_EDITION"), "PSP");
    ASSERT_TRUE(CreateFolders(dir / "server" + kSep + "mysql" + kSep + "bin"));
    EXPECT_EQ(ValueOf(StackEnvironment(settings, run, ""), "TRH_EDITION"), "PSMP");
    ASSERT_TRUE(DeleteFolderTree(dir / "server" + kSep + "perl2"));
    EXPECT_EQ(ValueOf(StackEnvironment(settings, run, ""), "TRH_EDITION"), "PSM");
}

TEST(Environment, IsSetForChildrenWithTheWholeOldPath) {
    SavedVariable path("PATH");
    std::vector<SavedVariable> saved;
    for (const char* name :
         {"TRH_EDITION", "PHPRC", "TRH_SERVER_SOFTWARE", "TRH_SERVER_APPROOT", "TRH_SERVER_DOCROOT",
          "TRH_DB_PATH", "TRH_TEMP_FOLDER", "TRH_APACHE_PORT", "TRH_BASE_URL", "TRH_MYSQL_PORT"}) {
        saved.emplace_back(name);
    }
    // Far longer than any fixed buffer.
    std::string oldPath;
    for (int i = 0; i < 600; ++i) {
        oldPath += kSep + "folder" + std::to_string(i) + (kSep == "/" ? ":" : ";");
    }
    oldPath += "END";
    ASSERT_TRUE(SetEnvironmentValue("PATH", oldPath));
    ASSERT_EQ(GetEnvironmentValue("PATH"), oldPath);

    AppSettings settings;
    const RunValues run = SampleRun("E" + kSep);
    SetStackEnvironment(settings, run);
    const std::string now = GetEnvironmentValue("PATH");
    ASSERT_GT(now.size(), oldPath.size());
    EXPECT_EQ(now.substr(now.size() - oldPath.size()), oldPath);
    EXPECT_EQ(GetEnvironmentValue("TRH_BASE_URL"), "http://myhost:8080");
    EXPECT_EQ(GetEnvironmentValue("TRH_SERVER_SOFTWARE"),
              std::string("Trailhost ") + TRAILHOST_VERSION);
}

}  // namespace
