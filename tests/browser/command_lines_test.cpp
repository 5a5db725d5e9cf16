// The browsers' command lines and the choice of the default starter, by table.
#include "browser/command_lines.h"

#include <gtest/gtest.h>

#include "stack/web_server.h"
#include "sys/launcher.h"

namespace {

using namespace Browser;
using Args = std::vector<std::string>;
using Kind = DefaultBrowserKind;

const char kUrl[] = "http://trailhost.test:4001/index.php?a=1";
const std::string kFirefox = "C:\\Program Files\\Mozilla Firefox\\firefox.exe";
const std::string kFirefoxOpen = "\"" + kFirefox + "\" -requestPending -osint -url \"%1\"";
const std::string kIe = "C:\\Program Files\\Internet Explorer\\iexplore.exe";

Args operator+(Args head, const Args& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// What every Chromium-family start gets before its size and the URL.
Args ChromiumStart(const std::string& program, const std::string& profile) {
    return {program, "--user-data-dir=" + profile, "--no-first-run", "--no-default-browser-check",
            "--new-window"};
}

// Whatever the registration, the URL and the profile folder hold, each stays one argument.
TEST(MozillaCommands, TheRegisteredArgumentsTheUrlAndThePrivateProfile) {
    const std::string profile = "C:\\Users\\A B\\Temp\\Trailhost_7\\browser-profile";
    const std::string hostile = "http://h/?x=\" -profile \"/tmp/p";
    const struct {
        std::string registered;
        std::string url;
        Args head;  // before the private profile's arguments
    } cases[] = {
        {kFirefoxOpen, kUrl, {kFirefox, "-url", kUrl}},
        {"\"" + kFirefox + "\" \"%1\"", kUrl, {kFirefox, kUrl}},
        {"\"" + kFirefox + "\" -url \"%1\"", hostile, {kFirefox, "-url", hostile}},
        {"/usr/bin/firefox-esr -url \"%1\"", kUrl, {"/usr/bin/firefox-esr", "-url", kUrl}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitWindowsCommandLine(MozillaBrowserCommand(c.registered, c.url, profile)),
                  (c.head + Args{"-no-remote", "-profile", profile}))
            << c.registered;
    }
    // Nothing registered: nothing to start.
    EXPECT_EQ(MozillaBrowserCommand("", kUrl, profile), "");
}

TEST(InternetExplorerCommand, KioskInAnyCaseAndTheVersionsThatNeedNomerge) {
    const struct {
        const char* version;
        const char* size;
        Args tail;
    } cases[] = {
        {"", "", {}},
        {"", "kiosk", {"-k"}},
        {"", "KiOsK", {"-k"}},
        {"8", "", {"-nomerge"}},
        {"80", "KIOSK", {"-k", "-nomerge"}},
        {"7", "", {}},
        {"9", "800x600", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitWindowsCommandLine(
                      InternetExplorerCommand("\"" + kIe + "\" %1", c.version, c.size, kUrl)),
                  (Args{kIe, kUrl} + c.tail))
            << c.version << " " << c.size;
    }
    // Without "%1" the browser gets no URL and opens its home page.
    EXPECT_EQ(SplitWindowsCommandLine(
                  InternetExplorerCommand("C:\\ie\\iexplore.exe", "8", "kiosk", kUrl)),
              (Args{"C:\\ie\\iexplore.exe", "-k", "-nomerge"}));
}

// Hostile -urlparam values, and what every browser gets from them: the URL is one argument
// whatever the parameter holds, and adds no switch and no second URL.
TEST(BrowserCommands, HostileUrlParametersStayOneArgument) {
    const struct {
        const char* urlParam;
        const char* url;  // what every browser gets
    } cases[] = {
        {"x\" -profile \"/tmp/p", "http://h:4001/index.php?x%22%20-profile%20%22/tmp/p"},
        {"a b&c;d|e", "http://h:4001/index.php?a%20b&c;d|e"},
        {"-osint", "http://h:4001/index.php?-osint"},
        {"%1 -requestPending", "http://h:4001/index.php?%1%20-requestPending"},
        {"end\\", "http://h:4001/index.php?end\\"},
        {"\\\"\t\n-k", "http://h:4001/index.php?\\%22%09%0A-k"},
    };
    const std::string profile = "/tmp/Trailhost 5/browser-profile";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.urlParam);
        const std::string url = BuildStartUrl("h", 4001, "index.php", c.urlParam);
        ASSERT_EQ(url, c.url);
        EXPECT_EQ(SplitWindowsCommandLine(MozillaBrowserCommand(kFirefoxOpen, url, profile)),
                  (Args{kFirefox, "-url", c.url, "-no-remote", "-profile", profile}));
        EXPECT_EQ(
            SplitWindowsCommandLine(InternetExplorerCommand("\"" + kIe + "\" %1", "8", "", url)),
            (Args{kIe, c.url, "-nomerge"}));
        EXPECT_EQ(SplitWindowsCommandLine(ChromiumCommand("/usr/bin/chromium", profile, "", url)),
                  ChromiumStart("/usr/bin/chromium", profile) + Args{c.url});
        EXPECT_EQ(SplitWindowsCommandLine(PathBrowserCommand("D:\\Portable Firefox\\ffp.exe", url)),
                  (Args{"D:\\Portable Firefox\\ffp.exe", c.url}));
        EXPECT_EQ(SplitWindowsCommandLine(
                      JoinWindowsCommandLine(DesktopExecArguments("epiphany %u", url))),
                  (Args{"epiphany", c.url}));
    }
}

TEST(ChromiumCommand, PrivateProfileNoQuestionsNewWindowAndTheSize) {
    const std::string chrome = "C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe";
    const std::string profile = "C:\\Documents and Settings\\me\\Temp\\Trailhost_12\\profile";
    const std::pair<const char*, Args> cases[] = {
        {"", {}},
        {"kiosk", {"--kiosk"}},
        {"Maximize", {"--start-maximized"}},
        {"800x600", {"--window-position=0,0", "--window-size=800,600"}},
        {"600", {}},
    };
    for (const auto& [size, extra] : cases) {
        EXPECT_EQ(SplitWindowsCommandLine(ChromiumCommand(chrome, profile, size, kUrl)),
                  ChromiumStart(chrome, profile) + extra + Args{kUrl})
            << size;
    }
    // Kiosk is no window size for the launcher; other sizes pass through.
    EXPECT_EQ(ChromiumLaunchSize("Kiosk"), "");
    EXPECT_EQ(ChromiumLaunchSize("800x600"), "800x600");
}

TEST(DefaultChoice, WindowsHandlerNames) {
    // Ids alone, without an open command.
    const std::pair<DefaultBrowserKind, std::vector<const char*>> byId[] = {
        // Today's Firefox names its ids after its install.
        {Kind::kFirefox,
         {"FirefoxHtml", "FIREFOXHTML", "fIrEfOxHtMl", "FirefoxHTML-308046B0AF4A39CB",
          "FirefoxURL-308046B0AF4A39CB", "FirefoxURL"}},
        {Kind::kMozilla, {"MozillaHtml", "mozillahtml", "MozillaURL"}},
        {Kind::kChromium,
         {"chromehtml", "MSEdgeHTM", "BraveHTML", "VivaldiHTM", "ChromiumHTM.ABCDEFGHIJ"}},
        {Kind::kInternetExplorer,
         {"FirefoxHTMLX", "FirefoxHTML-", "MozillaHtml2", "", "htmlfile", "IE.HTTP",
          "AppXq0fevzme2pys62n3e0fbqa7peapykr8v"}},
    };
    for (const auto& [kind, ids] : byId) {
        for (const char* id : ids) {
            EXPECT_EQ(KindForProgId(id, ""), kind) << id;
        }
    }
    const std::string chrome =
        "\"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe\" --single-argument %1";
    const struct {
        const char* progId;
        std::string command;
        DefaultBrowserKind kind;
    } withCommand[] = {
        {"", chrome, Kind::kInternetExplorer},
        {"htmlfile", "\"" + kIe + "\" %1", Kind::kInternetExplorer},
        {"SomeHTML", "C:\\IE\\IEXPLORE.EXE -nohome", Kind::kInternetExplorer},
        {"ChromeHTML", chrome, Kind::kChromium},
        // A variant id of the family is known by its program.
        {"ChromiumBeta.ABCDEFGHIJ", "C:\\Chromium\\chrome.exe -- \"%1\"", Kind::kChromium},
        {"MSEdgeSomething", "\"C:\\Edge\\MSEDGE.EXE\" --single-argument %1", Kind::kChromium},
        // Any other browser is started by its own command.
        {"OperaStable", "\"C:\\Opera\\launcher.exe\" -noautoupdate -- \"%1\"",
         Kind::kHandlerCommand},
    };
    for (const auto& c : withCommand) {
        EXPECT_EQ(KindForProgId(c.progId, c.command), c.kind) << c.progId;
    }
}

TEST(DefaultChoice, OpenCommandGetsTheUrlAsOneArgument) {
    const std::string url = "http://127.0.0.1:8080/index.php?a=%1b&c=%Ld e";
    const std::string program = "C:\\Tools\\Web Browser\\launcher.exe";
    const struct {
        std::string command;
        Args args;
    } cases[] = {
        {"\"" + program + "\" --open \"%1\"", {program, "--open", url}},
        {"\"" + program + "\" --single-argument %1", {program, "--single-argument", url}},
        {"\"" + program + "\" -url=%L", {program, "-url=" + url}},
        {"\"" + program + "\" %l", {program, url}},
        // The URL goes last when the command names no place for it.
        {"\"" + program + "\" -new-window", {program, "-new-window", url}},
        {"\"" + program + "\"", {program, url}},
        {"", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(OpenCommandArguments(c.command, url), c.args);
    }
}

TEST(DefaultChoice, LinuxHandlerPrograms) {
    const std::pair<const char*, DefaultBrowserKind> cases[] = {
        {"/usr/lib/firefox-esr/firefox-esr", Kind::kFirefox},
        {"firefox", Kind::kFirefox},
        {"/usr/bin/seamonkey", Kind::kMozilla},
        {"/usr/bin/chromium", Kind::kChromium},
        {"google-chrome-stable", Kind::kChromium},
        {"/opt/microsoft/msedge/microsoft-edge", Kind::kChromium},
        {"/usr/bin/epiphany", Kind::kHandlerCommand},
        {"", Kind::kHandlerCommand},
    };
    for (const auto& [program, kind] : cases) {
        EXPECT_EQ(KindForExecutable(program), kind) << program;
    }
}

TEST(DesktopExec, FieldCodesAndQuoting) {
    const std::pair<const char*, Args> cases[] = {
        {"/usr/lib/firefox-esr/firefox-esr %u", {"/usr/lib/firefox-esr/firefox-esr", kUrl}},
        {"\"/opt/My Browser/run\" --class=%c %i --new-window %U",
         {"/opt/My Browser/run", "--class=", "--new-window", kUrl}},
        {"env \"A=b c\" prog 100%% %F", {"env", "A=b c", "prog", "100%", kUrl}},
        {"say \"\\\"hi\\\" \\$HOME\" %k %f", {"say", "\"hi\" $HOME", kUrl}},
        // A handler that names no place for the URL gets it last.
        {"epiphany --new-window", {"epiphany", "--new-window", kUrl}},
        {"   ", {}},
    };
    for (const auto& [exec, args] : cases) {
        EXPECT_EQ(DesktopExecArguments(exec, kUrl), args) << exec;
    }
}

}  // namespace
