#include "stack/web_server.h"

#include "stack/server_logs.h"
#include "sys/files.h"
#include "sys/launcher.h"

#include <gtest/gtest.h>

#include "stack_layout.h"

using namespace testsupport;

namespace {

// The parameter's characters that have no business in a URL are encoded: the URL stays one word
// and cannot end the quotes around it; what a URL may hold stays as it is.
TEST(StartUrl, IsBuiltFromHostPortFileAndEncodedParameter) {
    const struct {
        const char* host;
        int port;
        const char* file;
        const char* parameter;
        const char* url;
    } rows[] = {
        {"localhost", 80, "index.php", "", "http://localhost/index.php"},
        {"localhost", 4001, "index.php", "a=1", "http://localhost:4001/index.php?a=1"},
        {"10.0.0.7", 7452, "index.php?lang=de", "x=1",
         "http://10.0.0.7:7452/index.php?lang=de&x=1"},
        {"myhost", 0, "", "", "http://myhost:0/"},
        {"h", 1, "i", "a b", "http://h:1/i?a%20b"},
        {"h", 1, "i", "x\" -profile \"/tmp/p", "http://h:1/i?x%22%20-profile%20%22/tmp/p"},
        {"h", 1, "i", "tab\there\nnl\r\x01\x7f", "http://h:1/i?tab%09here%0Anl%0D%01%7F"},
        {"h", 1, "i", "a=1&b=%41;c=-d/e?f#g\\", "http://h:1/i?a=1&b=%41;c=-d/e?f#g\\"},
        {"h", 1, "i", "caf\xc3\xa9", "http://h:1/i?caf\xc3\xa9"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(BuildStartUrl(row.host, row.port, row.file, row.parameter), row.url) << row.url;
    }
}

// The configured program when it is there, else the built-in place; every path one argument,
// whatever blanks, quotes and shell characters the folders hold.
TEST(WebServerCommandLine, ProgramAndConfigurationAreOneArgumentEach) {
    StackLayout layout;
    const std::string configured = Native("server/Apache/Apache") + kExe;
    const std::string builtIn = Native("server/Apache/bin/Apache") + kExe;
    const std::string odd = Native("/media/me/My Stick & co;/");
    const std::string config = Native("/tmp/a \"b\" -x/Trailhost_9/");
#ifdef _WIN32
    const std::vector<std::string> tail = {"-f", config + "\\httpd.conf"};
#else
    const std::vector<std::string> tail = {"-f", config + "/httpd.conf", "-DFOREGROUND"};
#endif
    const struct {
        const char* what;
        std::string exe;
        bool installed;
        std::string program;
    } rows[] = {
        {"not installed", layout.ExeFolder(), false, layout.ExeFolder() + builtIn},
        {"installed", layout.ExeFolder(), true, layout.ExeFolder() + configured},
        {"odd folders", odd, false, odd + builtIn},
    };
    for (const auto& row : rows) {
        if (row.installed) {
            layout.Install("fake_web", "server/Apache/Apache" + kExe);
        }
        std::vector<std::string> expected = {row.program};
        expected.insert(expected.end(), tail.begin(), tail.end());
        EXPECT_EQ(SplitWindowsCommandLine(WebServerCommandLine(row.exe, configured, config)),
                  expected)
            << row.what;
    }
}

// A server that ended during the start is told of with the last eight lines of its own log, line
// ends of either kind; a log outside the run's folder could be anybody's and is never shown.
TEST(EndedServerMessage, ShowsTheEndOfTheRunsOwnLogOnly) {
    TempDir dir;
    const std::string runtime = dir / "Trailhost_1" + kSep;
    CreateFolders(runtime);
    std::string log;
    for (int i = 1; i <= 10; ++i) {
        log += "line " + std::to_string(i) + "\r\n";
    }
    WriteFile(runtime + "error.log", log);
    WriteFile(dir / "Trailhost_1.log", log);
    const std::string ended =
        "The web server (httpd) ended with exit status 3 while the site was "
        "starting.";
    std::string tail = "\n\nThe end of " + runtime + "error.log:\n";
    for (int i = 3; i <= 10; ++i) {
        tail += "line " + std::to_string(i) + "\n";
    }
    const struct {
        std::string log;
        std::string message;
    } rows[] = {
        {runtime + "error.log", ended + tail},
        {dir / "Trailhost_1.log", ended},
        {runtime + "missing.log", ended},
        {"", ended},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(EndedServerMessage("web server", "httpd", 3, row.log, runtime), row.message)
            << row.log;
    }
    EXPECT_EQ(EndedServerMessage("web server", "httpd", std::nullopt, "", runtime),
              "The web server (httpd) ended while the site was starting.");
}

}  // namespace
