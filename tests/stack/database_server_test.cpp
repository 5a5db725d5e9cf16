#include "stack/database_server.h"

#include "config/settings.h"
#include "stack/account_texts.h"
#include "sys/files.h"
#include "sys/launcher.h"
#include "sys/process_list.h"
#include "sys/pure_socket.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <chrono>
#include <thread>

#include "fake_tcp_server.h"
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
    EXPECT_EQ(DatabaseServerCommandLine(s, exe, "mysqld.exe", config, 3306, "root"),
              "E:\\stack\\server\\mysql\\bin\\mysqld.exe "
              "--defaults-file=C:\\TEMP\\Trailhost_7\\\\my.ini --port=3306  "
              "--language=E:\\stack\\server\\mysql\\share\\english --user=root");
    EXPECT_EQ(DatabaseShutdownCommandLine(s, exe, config + "mysqladmin.cnf", 7188),
              "E:\\stack\\server\\mysql\\bin\\mysqladmin.exe "
              "--defaults-file=C:\\TEMP\\Trailhost_7\\mysqladmin.cnf -s --port=7188 shutdown");
#else
    const std::string exe = "/media/stack/";
    const std::string config = "/tmp/Trailhost_7/";
    EXPECT_EQ(DatabaseServerCommandLine(s, exe, "mysqld", config, 3306, "root"),
              "/media/stack/server/mysql/bin/mysqld "
              "--defaults-file=/tmp/Trailhost_7//my.ini --port=3306  "
              "--language=/media/stack/server/mysql/share/english --user=root");
    EXPECT_EQ(DatabaseShutdownCommandLine(s, exe, config + "mysqladmin.cnf", 7188),
              "/media/stack/server/mysql/bin/mysqladmin "
              "--defaults-file=/tmp/Trailhost_7/mysqladmin.cnf -s --port=7188 shutdown");
#endif
    // The server's own options stand between the port and the language.
    s.mySQLCmd = "--skip-innodb --console";
    const std::string line = DatabaseServerCommandLine(s, exe, "mysqld", config, 3306, "");
    EXPECT_NE(line.find(" --port=3306 --skip-innodb --console --language="), std::string::npos)
        << line;
}

// Every path and the user reach the programs as one argument each, whatever they hold; only the
// site's own options (mySQLCmd) are split where they say.
TEST(DatabaseCommandLines, PathsAndTheUserStayOneArgumentEach) {
    AppSettings s = StackLayout::Settings(0, 0);
    s.mySQLCmd = "--skip-innodb --console";
    // A program's own path cannot hold a quote by these rules; any other argument can.
    const std::string exe = StackLayout::Native("/media/My Stick & co; -x/");
    const std::string config = StackLayout::Native("/tmp/a \"b\"/Trailhost_7 \\/");
    const std::string sep = StackLayout::Native("/");
    EXPECT_EQ(
        SplitWindowsCommandLine(
            DatabaseServerCommandLine(s, exe, "mysqld", config, 3306, "site user\" --skip-grant")),
        (std::vector<std::string>{
            exe + StackLayout::Native("server/mysql/bin/mysqld"),
            "--defaults-file=" + config + sep + "my.ini", "--port=3306", "--skip-innodb",
            "--console", "--language=" + exe + StackLayout::Native("server/mysql/share/english"),
            "--user=site user\" --skip-grant"}));
    EXPECT_EQ(
        SplitWindowsCommandLine(DatabaseShutdownCommandLine(s, exe, config + "x.cnf", 1, "a b")),
        (std::vector<std::string>{
            exe + StackLayout::Native("server/mysql/bin/mysqladmin") + testsupport::kExe,
            "--defaults-file=" + config + "x.cnf", "-s", "--port=1", "--user=a b", "shutdown"}));
}

TEST(DatabaseCommandLines, LongPathsAreNeverCut) {
    AppSettings s = StackLayout::Settings(0, 0);
    const std::string exe = StackLayout::Native("/" + std::string(700, 'a') + "/");
    const std::string config = StackLayout::Native("/" + std::string(700, 'b') + "/");
    s.mySQLCmd = std::string(300, 'c');
    const std::string server =
        DatabaseServerCommandLine(s, exe, "mysqld", config, 3306, std::string(200, 'u'));
    EXPECT_EQ(server.rfind(exe, 0), 0u);
    EXPECT_NE(server.find(config), std::string::npos);
    EXPECT_NE(server.find(s.mySQLCmd), std::string::npos);
    EXPECT_EQ(server.substr(server.size() - 208), " --user=" + std::string(200, 'u'));
    const std::string shutdown = DatabaseShutdownCommandLine(s, exe, config + "x.cnf", 3306);
    EXPECT_EQ(shutdown.rfind(exe, 0), 0u);
    EXPECT_NE(shutdown.find("--defaults-file=" + config + "x.cnf"), std::string::npos);
}

// The option file as the administration tool reads it: a value in double quotes keeps its
// blanks, and a backslash escapes a backslash, a quote, a line feed, a carriage return, a tab
// and a backspace; '#' and ';' inside the quotes are no comment.
TEST(DatabaseAccount, TheToolsOptionFileHoldsTheAccountQuoted) {
    const std::string ini = StackLayout::Native("/tmp/a b/my.ini");
    struct Case {
        std::string user, password, text;
    };
    const Case cases[] = {
        {"NONE", "NONE", "!include " + ini + "\n[client]\nuser=\"root\"\n"},
        // Without a stored user the password is not used, as before.
        {"none", "s3cret", "!include " + ini + "\n[client]\nuser=\"root\"\n"},
        {"site", "NONE", "!include " + ini + "\n[client]\nuser=\"site\"\npassword=\"\"\n"},
        {"site", "s3cret", "!include " + ini + "\n[client]\nuser=\"site\"\npassword=\"s3cret\"\n"},
        {"a \"b\"", " p w#;\\\"\n\r\t\b'x ",
         "!include " + ini +
             "\n[client]\nuser=\"a \\\"b\\\"\"\npassword=\" p w#;\\\\\\\"\\n\\r\\t\\b'x \"\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.user + " / " + c.password);
        const StoredAccount account{
            IsNoAccountValue(c.user) ? c.user : Scramble(c.user, kBuiltInScrambleKey),
            IsNoAccountValue(c.password) ? c.password : Scramble(c.password, kBuiltInScrambleKey)};
        EXPECT_EQ(AdminOptionFileText(ini, account), c.text);
    }
    EXPECT_EQ(ServerUserName("NONE"), "root");
    EXPECT_EQ(ServerUserName(Scramble("site", kBuiltInScrambleKey)), "site");
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

// The tool never sees the password on its command line, where every user of the machine could
// read it; it gets the account from an option file that is gone once the stop is done.
TEST_F(DatabaseStop, TheToolGetsTheAccountFromAnOptionFileNeverFromItsCommandLine) {
    WriteFile(config_ + "my.ini", "[mysqld]\n");
    const std::string runtime = layout_.Root() + StackLayout::Native("runtime/");
    std::filesystem::create_directories(runtime);
    const std::string password = "s3cr3t a\" -x";
    const StoredAccount account{Scramble("site", kBuiltInScrambleKey),
                                Scramble(password, kBuiltInScrambleKey)};
    const int port = testsupport::UnusedPort();
    DatabaseServerControl control(settings_, port, layout_.ExeFolder(), 5000, account);
    control.Start(config_, runtime);
    ASSERT_TRUE(Eventually([&] { return IsPortInUse(port, "127.0.0.1"); }));

    control.Stop();
    EXPECT_TRUE(Eventually([&] { return !ProcessRuns(control.processId()); }));
    const std::string log = ReadFile(config_ + "fake_dbadmin.log");
    const std::vector<std::string> args = LogValues(log, "arg=");
    ASSERT_FALSE(args.empty());
    EXPECT_EQ(args[1], "--defaults-file=" + AdminOptionFileName(runtime));
    for (const std::string& arg : args) {
        EXPECT_EQ(arg.find("s3cr3t"), std::string::npos) << arg;
    }
    EXPECT_EQ(ReadFile(config_ + "fake_dbadmin.defaults"),
              AdminOptionFileText(config_ + StackLayout::Native("/my.ini"), account));
    EXPECT_FALSE(PathExists(AdminOptionFileName(runtime)));
}

TEST_F(DatabaseStop, NothingAnsweringOnThePortRunsNoTool) {
    WriteFile(config_ + "my.ini", "[mysqld]\n");
    const int port = testsupport::UnusedPort();
    DatabaseServerControl control(settings_, port, layout_.ExeFolder());
    control.Start(config_, config_);
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
    control.Start(config_, config_);
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
    control.Start(config_, config_);
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
    control.Start(config_, config_);
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
