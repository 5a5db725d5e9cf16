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
    const std::string tail = " -f \"" + config + "\\httpd.conf\"";
#else
    const std::string tail = " -f \"" + config + "/httpd.conf\" -DFOREGROUND";
#endif
    EXPECT_EQ(WebServerCommandLine(exe, configured, config),
              "\"" + exe + StackLayout::Native("server/Apache/bin/Apache") + testsupport::kExe +
                  "\"" + tail);
    layout.Install("fake_web", "server/Apache/Apache" + testsupport::kExe);
    EXPECT_EQ(WebServerCommandLine(exe, configured, config), "\"" + exe + configured + "\"" + tail);
}

TEST(ServerCommandLines, AStackFolderWithBlanksStaysOneProgramPath) {
    const std::string exe = StackLayout::Native("/media/me/My Stick/");
    const std::string config = StackLayout::Native("/tmp/Trailhost_9/");
    AppSettings s = StackLayout::Settings(0, 0);
    for (const std::string& line :
         {WebServerCommandLine(exe, StackLayout::Native("server/Apache/Apache"), config),
          DatabaseServerCommandLine(s, exe, "mysqld", config, 3306, ""),
          DatabaseShutdownCommandLine(s, exe, config, 3306, "")}) {
        const std::vector<std::string> args = SplitWindowsCommandLine(line);
        ASSERT_FALSE(args.empty());
        EXPECT_EQ(args[0].rfind(exe, 0), 0u) << line;
    }
}

}  // namespace
