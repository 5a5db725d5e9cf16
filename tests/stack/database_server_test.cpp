#include "stack/database_server.h"

#include "config/settings.h"
#include "stack/account_texts.h"
#include "sys/files.h"
#include "sys/launcher.h"
#include "sys/process_list.h"
#include "sys/pure_socket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "scripted_web_server.h"
#include "stack_layout.h"

using testsupport::Eventually;
using testsupport::LogValues;
using testsupport::ProcessRuns;
using testsupport::ReadFile;
using testsupport::StackLayout;
using testsupport::WriteFile;

namespace {

TEST(DatabaseCommandLines, ServerAndShutdownLinesHaveEveryPieceInOrder) {
    AppSettings s = StackLayout::Settings(0, 0);
#ifdef _WIN32
    const std::string exe = "E:\\stack\\";
    const std::string config = "C:\\TEMP\\Trailhost_7\\";
    EXPECT_EQ(DatabaseServerCommandLine(s, exe, "mysqld.exe", config, 3306, " --user=root"),
              "\"E:\\stack\\server\\mysql\\bin\\mysqld.exe\" "
              "--defaults-file=\"C:\\TEMP\\Trailhost_7\\\\my.ini\" --port=3306  "
              "--language=\"E:\\stack\\server\\mysql\\share\\english\" --user=root");
    EXPECT_EQ(DatabaseShutdownCommandLine(s, exe, config, 7188, " --user=root"),
              "\"E:\\stack\\server\\mysql\\bin\\mysqladmin.exe\" "
              "--defaults-file=\"C:\\TEMP\\Trailhost_7\\\\my.ini\" -s --port=7188 --user=root "
              "shutdown");
#else
    const std::string exe = "/media/stack/";
    const std::string config = "/tmp/Trailhost_7/";
    EXPECT_EQ(DatabaseServerCommandLine(s, exe, "mysqld", config, 3306, " --user=root"),
              "\"/media/stack/server/mysql/bin/mysqld\" "
              "--defaults-file=\"/tmp/Trailhost_7//my.ini\" --port=3306  "
              "--language=\"/media/stack/server/mysql/share/english\" --user=root");
    EXPECT_EQ(DatabaseShutdownCommandLine(s, exe, config, 7188, " --user=root"),
              "\"/media/stack/server/mysql/bin/mysqladmin\" "
              "--defaults-file=\"/tmp/Trailhost_7//my.ini\" -s --port=7188 --user=root shutdown");
#endif
    // The server's own options stand between the port and the language.
    s.mySQLCmd = "--skip-innodb --console";
    const std::string line = DatabaseServerCommandLine(s, exe, "mysqld", config, 3306, "");
    EXPECT_NE(line.find(" --port=3306 --skip-innodb --console --language=\""), std::string::npos)
        << line;
}

TEST(DatabaseCommandLines, LongPathsAreNeverCut) {
    AppSettings s = StackLayout::Settings(0, 0);
    const std::string exe = StackLayout::Native("/" + std::string(700, 'a') + "/");
    const std::string config = StackLayout::Native("/" + std::string(700, 'b') + "/");
    s.mySQLCmd = std::string(300, 'c');
    const std::string server = DatabaseServerCommandLine(s, exe, "mysqld", config, 3306,
                                                         " --user=" + std::string(200, 'u'));
    EXPECT_EQ(server.rfind("\"" + exe, 0), 0u);
    EXPECT_NE(server.find(config), std::string::npos);
    EXPECT_NE(server.find(s.mySQLCmd), std::string::npos);
    EXPECT_EQ(server.substr(server.size() - 208), " --user=" + std::string(200, 'u'));
    const std::string shutdown =
        DatabaseShutdownCommandLine(s, exe, config, 3306, " --password=" + std::string(900, 'p'));
    EXPECT_EQ(shutdown.substr(shutdown.size() - 921),
              " --password=" + std::string(900, 'p') + " shutdown");
}

TEST(DatabaseCommandLines, AccountOptionsFromTheStoredTexts) {
    const std::string user = Scramble("site", kBuiltInScrambleKey);
    const std::string password = Scramble("s3cret", kBuiltInScrambleKey);
    EXPECT_EQ(ServerUserOption("NONE"), " --user=root");
    EXPECT_EQ(ServerUserOption("none"), " --user=root");
    EXPECT_EQ(ServerUserOption(user), " --user=site");
    // The server is never given the password; the shutdown is, when one is stored.
    EXPECT_EQ(ShutdownAccountOptions("NONE", password), " --user=root");
    EXPECT_EQ(ShutdownAccountOptions(user, "NONE"), " --user=site --password=");
    EXPECT_EQ(ShutdownAccountOptions(user, password), " --user=site --password=s3cret");
}

class DatabaseStop : public ::testing::Test {
protected:
    DatabaseStop() {
        layout_.InstallServers();
        std::filesystem::create_directories(config_);
    }

    WinsockGuard sockets_;
    StackLayout layout_;
    std::string config_ = layout_.Root() + StackLayout::Native("conf/");
    AppSettings settings_ = StackLayout::Settings(0, 0);
};

TEST_F(DatabaseStop, NothingAnsweringOnThePortRunsNoTool) {
    WriteFile(config_ + "my.ini", "[mysqld]\n");
    const int port = testsupport::UnusedPort();
    DatabaseServerControl control(settings_, port, layout_.ExeFolder());
    control.Start(config_);
    ASSERT_NE(control.processId(), 0u);
    ASSERT_TRUE(Eventually([&] { return IsPortInUse(port, "127.0.0.1"); }));
    // The server has gone by itself before the stop.
    ProcessLauncher::TerminateTree(control.processId());
    ASSERT_TRUE(Eventually([&] { return !IsPortInUse(port, "127.0.0.1"); }));

    control.Stop();
    EXPECT_FALSE(PathExists(config_ + "fake_dbadmin.log"));
    EXPECT_EQ(LogValues(ReadFile(config_ + "fake_db.log"), "listening ").size(), 1u);
}

TEST_F(DatabaseStop, AServerStillStartingIsWaitedForAndShutDown) {
    WriteFile(config_ + "my.ini", "[mysqld]\nfake-listen-after-ms=1500\n");
    const int port = testsupport::UnusedPort();
    DatabaseServerControl control(settings_, port, layout_.ExeFolder(), 30000);
    control.Start(config_);
    ASSERT_NE(control.processId(), 0u);
    ASSERT_TRUE(Eventually([&] { return PathExists(config_ + "fake_db.log"); }));
    ASSERT_FALSE(IsPortInUse(port, "127.0.0.1"));

    control.Stop();
    EXPECT_TRUE(Eventually([&] { return !ProcessRuns(control.processId()); }));
    EXPECT_EQ(LogValues(ReadFile(config_ + "fake_db.log"), "shutdown").size(), 1u);
}

TEST_F(DatabaseStop, AServerThatNeverComesUpIsEndedAfterTheStopWait) {
    WriteFile(config_ + "my.ini", "[mysqld]\nfake-listen-after-ms=600000\n");
    const int port = testsupport::UnusedPort();
    DatabaseServerControl control(settings_, port, layout_.ExeFolder(), 500);
    control.Start(config_);
    ASSERT_NE(control.processId(), 0u);
    ASSERT_TRUE(Eventually([&] { return PathExists(config_ + "fake_db.log"); }));

    control.Stop();
    EXPECT_TRUE(Eventually([&] { return !ProcessRuns(control.processId()); }));
    EXPECT_FALSE(PathExists(config_ + "fake_dbadmin.log"));
}

TEST_F(DatabaseStop, AServerThatIgnoresTheShutdownIsEndedButNeverAStrangerOfTheSameName) {
    // Somebody else's database server: a process with the server's file name, started first.
    layout_.Install("idle_process", "other/mysqld" + testsupport::kExe);
    ProcessLauncher strangerLauncher;
    const std::string strangerReady = layout_.Root() + "stranger.ready";
    ASSERT_TRUE(strangerLauncher.Launch(layout_.ExeFolder() + StackLayout::Native("other/mysqld") +
                                            testsupport::kExe + " " + strangerReady + " 0",
                                        "", LaunchWait::None, false, WindowSearch::Direct));
    const std::uint32_t stranger = strangerLauncher.processId();
    ASSERT_TRUE(Eventually([&] { return PathExists(strangerReady); }));

    WriteFile(config_ + "my.ini", "[mysqld]\nfake-ignore-shutdown\n");
    const int port = testsupport::UnusedPort();
    DatabaseServerControl control(settings_, port, layout_.ExeFolder(), 2000);
    control.Start(config_);
    ASSERT_NE(control.processId(), 0u);
    ASSERT_TRUE(Eventually([&] { return IsPortInUse(port, "127.0.0.1"); }));

    control.Stop();
    EXPECT_TRUE(Eventually([&] { return !ProcessRuns(control.processId()); }));
    EXPECT_TRUE(Eventually([&] { return !IsPortInUse(port, "127.0.0.1"); }));
    EXPECT_TRUE(ProcessRuns(stranger));
    const std::vector<std::string> toolArgs =
        LogValues(ReadFile(config_ + "fake_dbadmin.log"), "arg=");
    ASSERT_FALSE(toolArgs.empty());
    EXPECT_EQ(toolArgs.back(), "shutdown");

    ProcessLauncher::TerminateTree(stranger);
}

}  // namespace
