#include "stack/database_server.h"

#include "config/settings.h"
#include "stack/account_texts.h"
#include "sys/files.h"
#include "sys/launcher.h"
#include "sys/process_list.h"
#include "sys/pure_socket.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "fake_tcp_server.h"
#include "stack_layout.h"

using testsupport::Eventually;
using testsupport::LogValues;
using testsupport::ProcessRuns;
using testsupport::ReadFile;
using testsupport::StackLayout;
using testsupport::WriteFile;

namespace {

// Every path and the user reach the programs as one argument each, whatever they hold and
// however long they are; only the site's own options (mySQLCmd) are split where they say.
TEST(DatabaseCommandLines, EveryPieceIsOneWholeArgumentInItsPlace) {
    const auto native = testsupport::Native;
    AppSettings plain = StackLayout::Settings(0, 0);
    AppSettings own = plain;
    own.mySQLCmd = "--skip-innodb --console";
    AppSettings longer = plain;
    longer.mySQLCmd = std::string(300, 'c');
    const std::string exe = native("/media/stack/");
    const std::string cfg = native("/tmp/Trailhost_7/");
    // A program's own path cannot hold a quote by these rules; any other argument can.
    const std::string odd = native("/media/My Stick & co; -x/");
    const std::string quoted = native("/tmp/a \"b\"/Trailhost_7 \\/");
    const std::string longExe = native("/" + std::string(700, 'a') + "/");
    const std::string longCfg = native("/" + std::string(700, 'b') + "/");
    const std::string user(200, 'u');
    const std::string mysqld = native("server/mysql/bin/mysqld");
    const std::string admin = native("server/mysql/bin/mysqladmin") + testsupport::kExe;
    const std::string english = "--language=" + exe + native("server/mysql/share/english");
    const struct {
        const char* what;
        std::string line;
        std::vector<std::string> args;
    } rows[] = {
        {"the server",
         DatabaseServerCommandLine(plain, exe, "mysqld", cfg, 3306, "root"),
         {exe + mysqld, "--defaults-file=" + cfg + native("/my.ini"), "--port=3306", english,
          "--user=root"}},
        {"the server's own options go between the port and the language",
         DatabaseServerCommandLine(own, exe, "mysqld", cfg, 3306, "root"),
         {exe + mysqld, "--defaults-file=" + cfg + native("/my.ini"), "--port=3306",
          "--skip-innodb", "--console", english, "--user=root"}},
        {"blanks, quotes and shell characters",
         DatabaseServerCommandLine(own, odd, "mysqld", quoted, 3306, "site user\" --skip-grant"),
         {odd + mysqld, "--defaults-file=" + quoted + native("/my.ini"), "--port=3306",
          "--skip-innodb", "--console", "--language=" + odd + native("server/mysql/share/english"),
          "--user=site user\" --skip-grant"}},
        {"long paths",
         DatabaseServerCommandLine(longer, longExe, "mysqld", longCfg, 3306, user),
         {longExe + mysqld, "--defaults-file=" + longCfg + native("/my.ini"), "--port=3306",
          longer.mySQLCmd, "--language=" + longExe + native("server/mysql/share/english"),
          "--user=" + user}},
        {"the shutdown",
         DatabaseShutdownCommandLine(plain, exe, cfg + "x.cnf", 7188),
         {exe + admin, "--defaults-file=" + cfg + "x.cnf", "-s", "--port=7188", "shutdown"}},
        {"the shutdown with a user and odd paths",
         DatabaseShutdownCommandLine(plain, odd, quoted + "x.cnf", 1, "a b"),
         {odd + admin, "--defaults-file=" + quoted + "x.cnf", "-s", "--port=1", "--user=a b",
          "shutdown"}},
        {"the shutdown of long paths",
         DatabaseShutdownCommandLine(plain, longExe, longCfg + "x.cnf", 3306),
         {longExe + admin, "--defaults-file=" + longCfg + "x.cnf", "-s", "--port=3306",
          "shutdown"}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(SplitWindowsCommandLine(row.line), row.args) << row.what;
    }
}

// The option file as the administration tool reads it: a value in double quotes keeps its
// blanks, and a backslash escapes a backslash, a quote, a line feed, a carriage return, a tab
// and a backspace; '#' and ';' inside the quotes are no comment.
TEST(DatabaseAccount, TheToolsOptionFileHoldsTheAccountQuoted) {
    const std::string ini = testsupport::Native("/tmp/a b/my.ini");
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

// However the server behaves at the stop, it is gone afterwards, and a program of the same name
// that the run did not start (somebody else's database server) still runs. The tool never sees
// the password on its command line, where every user of the machine could read it: it reads the
// account from an option file in the private folder, gone once the stop is done.
TEST(DatabaseStop, EndsOnlyItsOwnServerWhateverItDoes) {
    WinsockGuard sockets;
    StackLayout layout;
    layout.InstallServers();
    const AppSettings settings = StackLayout::Settings(0, 0);
    layout.Install("idle_process", "other/mysqld" + testsupport::kExe);
    ProcessLauncher strangerLauncher;
    const std::string strangerReady = layout.Root() + "stranger.ready";
    ASSERT_TRUE(strangerLauncher.Launch(layout.ExeFolder() + testsupport::Native("other/mysqld") +
                                            testsupport::kExe + " " + strangerReady + " 0",
                                        "", LaunchWait::None, false, WindowSearch::Direct));
    const std::uint32_t stranger = strangerLauncher.processId();
    const StoredAccount account{Scramble("site", kBuiltInScrambleKey),
                                Scramble("s3cr3t a\" -x", kBuiltInScrambleKey)};
    ASSERT_TRUE(Eventually([&] { return PathExists(strangerReady); }));

    const struct {
        const char* what;
        const char* myIni;
        unsigned long stopWaitMs;
        // Whether the stop comes once the server listens, or once it has gone by itself.
        bool listening, goneBeforeTheStop;
        // The administration tool's log: whether it ran, and asked for the shutdown.
        bool toolRuns;
        // Requests that the server logged ("shutdown" or "shutdown ignored").
        std::size_t shutdownRequests;
    } rows[] = {
        {"gone before the stop: no tool", "", 5000, true, true, false, 0},
        {"still starting: waited for and shut down", "fake-listen-after-ms=1500\n", 30000, false,
         false, true, 1},
        {"never comes up: ended after the stop wait", "fake-listen-after-ms=600000\n", 500, false,
         false, false, 0},
        {"ignores the shutdown: ended", "fake-ignore-shutdown\n", 2000, true, false, true, 1},
    };
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string config =
            layout.Root() + testsupport::Native("conf" + std::to_string(++n) + "/");
        const std::string runtime = config + testsupport::Native("private/");
        std::filesystem::create_directories(runtime);
        WriteFile(config + "my.ini", std::string("[mysqld]\n") + row.myIni);
        const int port = testsupport::UnusedPort();
        DatabaseServerControl control(settings, port, layout.ExeFolder(), row.stopWaitMs, account);
        control.Start(config, runtime);
        ASSERT_NE(control.processId(), 0u);
        ASSERT_TRUE(Eventually([&] { return PathExists(config + "fake_db.log"); }));
        if (row.listening) {
            ASSERT_TRUE(Eventually([&] { return IsPortInUse(port, "127.0.0.1"); }));
        } else {
            ASSERT_FALSE(IsPortInUse(port, "127.0.0.1"));
        }
        if (row.goneBeforeTheStop) {
            ProcessLauncher::TerminateTree(control.processId());
            ASSERT_TRUE(Eventually([&] { return !IsPortInUse(port, "127.0.0.1"); }));
        }

        control.Stop();
        EXPECT_TRUE(Eventually([&] { return !ProcessRuns(control.processId()); }));
        const std::vector<std::string> toolArgs =
            LogValues(ReadFile(config + "fake_dbadmin.log"), "arg=");
        EXPECT_EQ(toolArgs.empty() ? "" : toolArgs.back(), row.toolRuns ? "shutdown" : "");
        EXPECT_EQ(toolArgs.size() > 1 ? toolArgs[1] : "",
                  row.toolRuns ? "--defaults-file=" + AdminOptionFileName(runtime) : "");
        for (const std::string& arg : toolArgs) {
            EXPECT_EQ(arg.find("s3cr3t"), std::string::npos) << arg;
        }
        EXPECT_EQ(ReadFile(config + "fake_dbadmin.defaults"),
                  row.toolRuns
                      ? AdminOptionFileText(config + testsupport::Native("/my.ini"), account)
                      : "");
        EXPECT_FALSE(PathExists(AdminOptionFileName(runtime)));
        EXPECT_EQ(LogValues(ReadFile(config + "fake_db.log"), "shutdown").size(),
                  row.shutdownRequests);
        EXPECT_TRUE(ProcessRuns(stranger));
    }
    ProcessLauncher::TerminateTree(stranger);
}

}  // namespace
