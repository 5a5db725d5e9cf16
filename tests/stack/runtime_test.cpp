#include "stack/runtime.h"

#include <gtest/gtest.h>

#include "sys/environment.h"
#include "sys/files.h"
#include "stack_layout.h"
#include "trailhost_version.h"

#include <memory>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

using namespace testsupport;

namespace {

// The value of `name` in the stack's variables (without an old path).
std::string ValueOf(const AppSettings& settings, const RunValues& run, const std::string& name) {
    for (const auto& [key, value] : StackEnvironment(settings, run, "")) {
        if (key == name) {
            return value;
        }
    }
    return "<missing>";
}

// Named after the process under the temporary folder, which may lack its last separator.
TEST(RuntimeFolder, IsANewPrivateFolderWithItsSessionFolder) {
    TempDir dir;
    const std::string runtime = CreateRuntimeFolder(dir.path(), 42, true);
    ASSERT_EQ(runtime, dir / "Trailhost_42" + kSep);
    EXPECT_EQ(RuntimeFolderName(dir.path().substr(0, dir.path().size() - 1), 42), runtime);
#ifdef _WIN32
    EXPECT_EQ(RuntimeFolderName("\\\\server\\tmp\\", 7), "\\\\server\\tmp\\Trailhost_7\\");
#endif
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
    // A temporary folder that is not there yet is made.
    EXPECT_EQ(CreateRuntimeFolder(dir / Native("not/yet"), 42, false),
              dir / Native("not/yet/Trailhost_42/"));
    // None where no folder can be made.
    WriteFile(dir / "file", "not a folder");
    EXPECT_EQ(CreateRuntimeFolder(dir / "file" + kSep, 42, false), "");
}

// The eleven variables in their order, and what each holds in the shapes a stack comes in.
TEST(Environment, ElevenVariablesInTheirOrder) {
    TempDir dir;
    const std::string app = dir.path();
    RunValues run = SampleRun(app);
    AppSettings settings;
    settings.pathToMySqlBin = "server\\mysql\\bin";
    const std::string perl = app + Native("server/Perl2/");
#ifdef _WIN32
    const std::string path = perl + "Apache\\;" + perl + "bin\\;;" + app + "server\\php\\;";
#else
    // No empty element, which would stand for the current folder.
    const std::string path = perl + "Apache/:" + perl + "bin/:" + app + "server/php/";
#endif
    EXPECT_EQ(
        StackEnvironment(settings, run, "OLD"),
        (EnvironmentList{{"TRH_EDITION", "PS"},
                         {"PHPRC", run.runtimeFolder},
                         {"TRH_SERVER_SOFTWARE", std::string("Trailhost ") + TRAILHOST_VERSION},
                         {"TRH_SERVER_APPROOT", app},
                         {"TRH_SERVER_DOCROOT", app + "htdocs"},
                         {"TRH_DB_PATH", run.dbFolder},
                         {"TRH_TEMP_FOLDER", run.runtimeFolder},
                         {"TRH_APACHE_PORT", "8080"},
                         {"TRH_BASE_URL", "http://myhost:8080"},
                         {"TRH_MYSQL_PORT", "3307"},
                         {"PATH", path + (kSep == "/" ? ":OLD" : "OLD")}}));
    EXPECT_EQ(ValueOf(settings, run, "PATH"), path);
    // The edition names the database programs and Perl when they are there.
    for (const auto& [folder, edition] : std::vector<std::pair<std::string, std::string>>{
             {"server/perl2", "PSP"}, {"server/mysql/bin", "PSMP"}}) {
        ASSERT_TRUE(CreateFolders(app + Native(folder)));
        EXPECT_EQ(ValueOf(settings, run, "TRH_EDITION"), edition);
    }
    ASSERT_TRUE(DeleteFolderTree(app + Native("server/perl2")));
    EXPECT_EQ(ValueOf(settings, run, "TRH_EDITION"), "PSM");
    // A document root of several parts is appended plainly; a local start gives PHP its folder.
    run.docRootName = "www\\site";
    settings.startLocal = 1;
    EXPECT_EQ(ValueOf(settings, run, "TRH_SERVER_DOCROOT"), app + Native("www/site"));
    EXPECT_EQ(ValueOf(settings, run, "PHPRC"), app + Native("/server/php"));
}

TEST(Environment, IsSetForChildrenWithTheWholeOldPath) {
    // Far longer than any fixed buffer.
    std::string oldPath;
    for (int i = 0; i < 600; ++i) {
        oldPath += kSep + "folder" + std::to_string(i) + (kSep == "/" ? ":" : ";");
    }
    oldPath += "END";
    const RunValues run = SampleRun("E" + kSep);
    std::vector<std::unique_ptr<ScopedEnv>> saved;
    for (const auto& [name, value] : StackEnvironment(AppSettings(), run, "")) {
        saved.push_back(std::make_unique<ScopedEnv>(name, name == "PATH" ? oldPath : GetEnv(name)));
    }
    SetStackEnvironment(AppSettings(), run);
    const std::string now = GetEnvironmentValue("PATH");
    ASSERT_GT(now.size(), oldPath.size());
    EXPECT_EQ(now.substr(now.size() - oldPath.size()), oldPath);
    EXPECT_EQ(GetEnvironmentValue("TRH_BASE_URL"), "http://myhost:8080");
}

}  // namespace
