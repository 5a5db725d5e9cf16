#include "stack/web_server.h"

#include <string>
#include <vector>

#include "config/settings.h"
#include "stack/database_server.h"
#include "sys/launcher.h"

#include <gtest/gtest.h>

#include "stack_layout.h"

using testsupport::StackLayout;

namespace {

TEST(StartUrl, PortEightyHasNoPortPart) {
    EXPECT_EQ(BuildStartUrl("localhost", 80, "index.php", ""), "http://localhost/index.php");
}

// Characters that have no business in a URL are encoded in the parameter: the URL stays one word
// and cannot end the quotes around it; what a URL may hold stays as it is.
TEST(StartUrl, TheParameterIsEncodedWhereItCouldBreakOutOfTheUrl) {
    const std::pair<const char*, const char*> cases[] = {
        {"a b", "a%20b"},
        {"x\" -profile \"/tmp/p", "x%22%20-profile%20%22/tmp/p"},
        {"tab\there\nnl\r\x01\x7f", "tab%09here%0Anl%0D%01%7F"},
        {"a=1&b=%41;c=-d/e?f#g\\", "a=1&b=%41;c=-d/e?f#g\\"},
        {"caf\xc3\xa9", "caf\xc3\xa9"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BuildStartUrl("h", 4001, "index.php", c.first),
                  std::string("http://h:4001/index.php?") + c.second)
            << c.first;
    }
}

TEST(StartUrl, OtherPortsAndParameters) {
    EXPECT_EQ(BuildStartUrl("localhost", 4001, "index.php", "a=1"),
              "http://localhost:4001/index.php?a=1");
    EXPECT_EQ(BuildStartUrl("10.0.0.7", 7452, "index.php?lang=de", "x=1"),
              "http://10.0.0.7:7452/index.php?lang=de&x=1");
    EXPECT_EQ(BuildStartUrl("myhost", 0, "", ""), "http://myhost:0/");
}

TEST(WebServerCommandLine, ConfiguredProgramWhenItExistsElseTheBuiltInPlace) {
    StackLayout layout;
    const std::string exe = layout.ExeFolder();
    const std::string config = StackLayout::Native("/run/Trailhost_9/");
    const std::string configured = StackLayout::Native("server/Apache/Apache") + testsupport::kExe;
#ifdef _WIN32
    const std::vector<std::string> tail = {"-f", config + "\\httpd.conf"};
#else
    const std::vector<std::string> tail = {"-f", config + "/httpd.conf", "-DFOREGROUND"};
#endif
    std::vector<std::string> expected = {exe + StackLayout::Native("server/Apache/bin/Apache") +
                                         testsupport::kExe};
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(SplitWindowsCommandLine(WebServerCommandLine(exe, configured, config)), expected);
    layout.Install("fake_web", "server/Apache/Apache" + testsupport::kExe);
    expected[0] = exe + configured;
    EXPECT_EQ(SplitWindowsCommandLine(WebServerCommandLine(exe, configured, config)), expected);
}

// Paths with blanks, quotes and shell characters stay one argument each.
TEST(ServerCommandLines, EveryPathStaysOneArgument) {
    const std::string exe = StackLayout::Native("/media/me/My Stick & co;/");
    const std::string config = StackLayout::Native("/tmp/a \"b\" -x/Trailhost_9/");
    AppSettings s = StackLayout::Settings(0, 0);
    const std::vector<std::string> web = SplitWindowsCommandLine(
        WebServerCommandLine(exe, StackLayout::Native("server/Apache/Apache"), config));
    ASSERT_GE(web.size(), 3u);
    EXPECT_EQ(web[0].rfind(exe, 0), 0u);
    EXPECT_EQ(web[1], "-f");
    EXPECT_EQ(web[2], config + StackLayout::Native("/httpd.conf"));
    for (const std::string& line :
         {DatabaseServerCommandLine(s, exe, "mysqld", config, 3306, "root"),
          DatabaseShutdownCommandLine(s, exe, config + "x.cnf", 3306)}) {
        const std::vector<std::string> args = SplitWindowsCommandLine(line);
        ASSERT_GE(args.size(), 2u);
        EXPECT_EQ(args[0].rfind(exe, 0), 0u) << line;
        EXPECT_EQ(args[1].rfind("--defaults-file=" + config, 0), 0u) << line;
    }
}

}  // namespace
