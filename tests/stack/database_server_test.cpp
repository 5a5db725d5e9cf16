#include "stack/database_server.h"

#include "stack/account_texts.h"
#include "sys/files.h"
#include "sys/launcher.h"
#include "sys/process_list.h"
#include "sys/pure_socket.h"

#include <gtest/gtest.h>

#include "fake_tcp_server.h"
#include "stack_layout.h"

using namespace testsupport;

namespace {

// Every path and the user reach the programs as one argument each, whatever they hold and
// however long they are; only the site's own options (mySQLCmd) are split where they say.
TEST(DatabaseCommandLines, EveryPieceIsOneWholeArgumentInItsPlace) {
    AppSettings plain = StackLayout::Settings(0, 0);
    AppSettings own = plain;
    own.mySQLCmd = "--skip-innodb --console " + std::string(300, 'c');
    const std::string exe = Native("/media/stack/");
    const std::string cfg = Native("/tmp/Trailhost_7/");
    // Blanks, shell characters and lengths past any fixed buffer; a program's own path cannot
    // hold a quote by these rules, any other argument can.
    const std::string odd = Native("/media/My Stick & co; -x/" + std::string(700, 'a') + "/");
    const std::string quoted = Native("/tmp/a \"b\"/" + std::string(700, 'b') + "/Trailhost_7 \\/");
    const std::string user = "site user\" --skip-grant" + std::string(200, 'u');
    const std::string mysqld = Native("server/mysql/bin/mysqld");
    const std::string admin = Native("server/mysql/bin/mysqladmin") + kExe;
    const auto english = [](const std::string& in) {
        return "--language=" + in + Native("server/mysql/share/english");
    };
    const struct {
        const char* what;
        std::string line;
        std::vector<std::string> args;
    } rows[] = {
        {"the server",
         DatabaseServerCommandLine(plain, exe, "mysqld", cfg, 3306, "root"),
         {exe + mysqld, "--defaults-file=" + cfg + Native("/my.ini"), "--port=3306", english(exe),
          "--user=root"}},
        {"the server's own options between the port and the language, odd paths",
         DatabaseServerCommandLine(own, odd, "mysqld", quoted, 3306, user),
         {odd + mysqld, "--defaults-file=" + quoted + Native("/my.ini"), "--port=3306",
          "--skip-innodb", "--console", std::string(300, 'c'), english(odd), "--user=" + user}},
        {"the shutdown",
         DatabaseShutdownCommandLine(plain, exe, cfg + "x.cnf", 7188),
         {exe + admin, "--defaults-file=" + cfg + "x.cnf", "-s", "--port=7188", "shutdown"}},
        {"the shutdown with a user and odd paths",
         DatabaseShutdownCommandLine(plain, odd, quoted + "x.cnf", 1, "a b"),
         {odd + admin, "--defaults-file=" + quoted + "x.cnf", "-s", "--port=1", "--user=a b",
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
    const std::string ini = Native("/tmp/a b/my.ini");
    const std::string head = "!include " + ini + "\n[client]\nuser=";
    const struct {
        std::string user, password, text;
    } cases[] = {
        {"NONE", "NONE", head + "\"root\"\n"},
        // Without a stored user the password is not used, as before.
        {"none", "s3cret", head + "\"root\"\n"},
        {"site", "NONE", head + "\"site\"\npassword=\"\"\n"},
        {"site", "s3cret", head + "\"site\"\npassword=\"s3cret\"\n"},
        {"a \"b\"", " p w#;\\\"\n\r\t\b'x ",
         head + "\"a \\\"b\\\"\"\npassword=\" p w#;\\\\\\\"\\n\\r\\t\\b'x \"\n"},
    };
    for (const auto& c : cases) {
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
    layout.Install("idle_process", "other/mysqld" + kExe);
    ProcessLauncher strangerLauncher;
    const std::string strangerReady = layout.Root() + "stranger.ready";
    ASSERT_TRUE(strangerLauncher.Launch(
        layout.ExeFolder() + Native("other/mysqld") + kExe + " " + strangerReady + " 0", "",
        LaunchWait::None, false, WindowSearch::Direct));
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
        const std::string config = layout.Root() + Native("conf" + std::to_string(++n) + "/");
        const std::string runtime = config + Native("private/");
        std::filesystem::create_directories(runtime);
        WriteFile(config + "my.ini", std::string("[mysqld]\n") + row.myIni);
        const int port = UnusedPort();
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
        // Past the program's own path: the password never among them.
        std::vector<std::string> toolArgs =
            LogValues(ReadFile(config + "fake_dbadmin.log"), "arg=");
        toolArgs.erase(toolArgs.begin(), toolArgs.begin() + (toolArgs.empty() ? 0 : 1));
        const std::vector<std::string> asked = {"--defaults-file=" + AdminOptionFileName(runtime),
                                                "-s", "--port=" + std::to_string(port), "shutdown"};
        EXPECT_EQ(toolArgs, row.toolRuns ? asked : std::vector<std::string>{});
        EXPECT_EQ(ReadFile(config + "fake_dbadmin.defaults"),
                  row.toolRuns ? AdminOptionFileText(config + Native("/my.ini"), account) : "");
        EXPECT_FALSE(PathExists(AdminOptionFileName(runtime)));
        EXPECT_EQ(LogValues(ReadFile(config + "fake_db.log"), "shutdown").size(),
                  row.shutdownRequests);
        EXPECT_TRUE(ProcessRuns(stranger));
    }
    ProcessLauncher::TerminateTree(stranger);
}

}  // namespace
