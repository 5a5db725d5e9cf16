#include "stack/runtime.h"

#include <gtest/gtest.h>

#include "sys/environment.h"
#include "sys/files.h"
#include "sys/folders.h"
#include "stack_layout.h"
#include "test_support.h"
#include "trailhost_version.h"

#include <memory>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

using testsupport::Native;
using testsupport::SampleRun;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// The value of `name` in the list.
std::string ValueOf(const EnvironmentList& list, const std::string& name) {
    for (const auto& [key, value] : list) {
        if (key == name) {
            return value;
        }
    }
    return "<missing>";
}

// The variables of the stack, in their order.
const std::vector<std::string> kNames({"TRH_EDITION", "PHPRC", "TRH_SERVER_SOFTWARE",
                                       "TRH_SERVER_APPROOT", "TRH_SERVER_DOCROOT", "TRH_DB_PATH",
                                       "TRH_TEMP_FOLDER", "TRH_APACHE_PORT", "TRH_BASE_URL",
                                       "TRH_MYSQL_PORT", "PATH"});

TEST(RuntimeFolder, IsNamedAfterTheProcessUnderTheTemporaryFolder) {
#ifdef _WIN32
    EXPECT_EQ(RuntimeFolderName("C:\\TEMP\\", 1234), "C:\\TEMP\\Trailhost_1234\\");
    EXPECT_EQ(RuntimeFolderName("C:\\TEMP", 1234), "C:\\TEMP\\Trailhost_1234\\");
    EXPECT_EQ(RuntimeFolderName("\\\\server\\tmp\\", 7), "\\\\server\\tmp\\Trailhost_7\\");
#else
    EXPECT_EQ(RuntimeFolderName("/tmp/", 1234), "/tmp/Trailhost_1234/");
    EXPECT_EQ(RuntimeFolderName("/var/tmp", 1234), "/var/tmp/Trailhost_1234/");
#endif
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
    const EnvironmentList env = StackEnvironment(settings, run, "OLD");
    std::vector<std::string> names;
    for (const auto& entry : env) {
        names.push_back(entry.first);
    }
    EXPECT_EQ(names, kNames);
    const std::string perl = app + Native("server/Perl2/");
#ifdef _WIN32
    const std::string path = perl + "Apache\\;" + perl + "bin\\;;" + app + "server\\php\\;";
#else
    // No empty element, which would stand for the current folder.
    const std::string path = perl + "Apache/:" + perl + "bin/:" + app + "server/php/";
#endif
    const std::pair<const char*, std::string> values[] = {
        {"TRH_EDITION", "PS"},
        {"PHPRC", run.runtimeFolder},
        {"TRH_SERVER_SOFTWARE", std::string("Trailhost ") + TRAILHOST_VERSION},
        {"TRH_SERVER_APPROOT", app},
        {"TRH_SERVER_DOCROOT", app + "htdocs"},
        {"TRH_DB_PATH", run.dbFolder},
        {"TRH_TEMP_FOLDER", run.runtimeFolder},
        {"TRH_APACHE_PORT", "8080"},
        {"TRH_BASE_URL", "http://myhost:8080"},
        {"TRH_MYSQL_PORT", "3307"},
        {"PATH", path + (kSep == "/" ? ":OLD" : "OLD")},
    };
    for (const auto& [name, value] : values) {
        EXPECT_EQ(ValueOf(env, name), value) << name;
    }
    EXPECT_EQ(ValueOf(StackEnvironment(settings, run, ""), "PATH"), path);
    // The edition names the database programs and Perl when they are there.
    for (const auto& [folder, edition] : std::vector<std::pair<std::string, std::string>>{
             {"server/perl2", "PSP"}, {"server/mysql/bin", "PSMP"}}) {
        ASSERT_TRUE(CreateFolders(app + Native(folder)));
        EXPECT_EQ(ValueOf(StackEnvironment(settings, run, ""), "TRH_EDITION"), edition);
    }
    ASSERT_TRUE(DeleteFolderTree(app + Native("server/perl2")));
    EXPECT_EQ(ValueOf(StackEnvironment(settings, run, ""), "TRH_EDITION"), "PSM");
    // A document root of several parts is appended plainly; a local start gives PHP its folder.
    run.docRootName = "www\\site";
    settings.startLocal = 1;
    EXPECT_EQ(ValueOf(StackEnvironment(settings, run, ""), "TRH_SERVER_DOCROOT"),
              app + Native("www/site"));
    EXPECT_EQ(ValueOf(StackEnvironment(settings, run, ""), "PHPRC"), app + Native("/server/php"));
}

TEST(Environment, IsSetForChildrenWithTheWholeOldPath) {
    // Far longer than any fixed buffer.
    std::string oldPath;
    for (int i = 0; i < 600; ++i) {
        oldPath += kSep + "folder" + std::to_string(i) + (kSep == "/" ? ":" : ";");
    }
    oldPath += "END";
    std::vector<std::unique_ptr<testsupport::ScopedEnv>> saved;
    for (const std::string& name : kNames) {
        saved.push_back(std::make_unique<testsupport::ScopedEnv>(
            name, name == "PATH" ? oldPath : testsupport::GetEnv(name)));
    }

    const RunValues run = SampleRun("E" + kSep);
    SetStackEnvironment(AppSettings(), run);
    const std::string now = GetEnvironmentValue("PATH");
    ASSERT_GT(now.size(), oldPath.size());
    EXPECT_EQ(now.substr(now.size() - oldPath.size()), oldPath);
    EXPECT_EQ(GetEnvironmentValue("TRH_BASE_URL"), "http://myhost:8080");
}

}  // namespace
