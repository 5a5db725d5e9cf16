// The browsers' command lines and the choice of the default starter, by table.
#include "browser/command_lines.h"

#include <gtest/gtest.h>

#include "sys/launcher.h"

namespace {

using namespace Browser;
using Args = std::vector<std::string>;

const char kUrl[] = "http://trailhost.test:4001/index.php?a=1";
const char kFirefox[] = "\"C:\\Program Files\\Mozilla Firefox\\firefox.exe\"";

// Whatever the registration, the URL and the profile folder hold, each stays one argument.
TEST(MozillaCommands, TheRegisteredArgumentsTheUrlAndThePrivateProfile) {
    const std::string program = "C:\\Program Files\\Mozilla Firefox\\firefox.exe";
    const std::string profile = "C:\\Users\\A B\\Temp\\Trailhost_7\\browser-profile";
    const std::string hostile = "http://h/?x=\" -profile \"/tmp/p";
    const struct {
        std::string registered;
        std::string url;
        Args expected;
    } cases[] = {
        {std::string(kFirefox) + " -requestPending -osint -url \"%1\"",
         kUrl,
         {program, "-url", kUrl, "-no-remote", "-profile", profile}},
        {std::string(kFirefox) + " \"%1\"",
         kUrl,
         {program, kUrl, "-no-remote", "-profile", profile}},
        {std::string(kFirefox) + " -url \"%1\"",
         hostile,
         {program, "-url", hostile, "-no-remote", "-profile", profile}},
        {"/usr/bin/firefox-esr -url \"%1\"",
         kUrl,
         {"/usr/bin/firefox-esr", "-url", kUrl, "-no-remote", "-profile", profile}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitWindowsCommandLine(MozillaBrowserCommand(c.registered, c.url, profile)),
                  c.expected)
            << c.registered;
    }
    // Nothing registered: nothing to start.
    EXPECT_EQ(MozillaBrowserCommand("", kUrl, profile), "");
}

TEST(InternetExplorerCommand, KioskInAnyCaseAndTheVersionsThatNeedNomerge) {
    const std::string ie = "C:\\Program Files\\Internet Explorer\\iexplore.exe %1";
    const std::string withUrl =
        "C:\\Program Files\\Internet Explorer\\iexplore.exe " + std::string(kUrl);
    EXPECT_EQ(InternetExplorerCommand(ie, "", "", kUrl), withUrl);
    EXPECT_EQ(InternetExplorerCommand(ie, "", "kiosk", kUrl), withUrl + " -k ");
    EXPECT_EQ(InternetExplorerCommand(ie, "", "KiOsK", kUrl), withUrl + " -k ");
    EXPECT_EQ(InternetExplorerCommand(ie, "8", "", kUrl), withUrl + " -nomerge ");
    EXPECT_EQ(InternetExplorerCommand(ie, "80", "KIOSK", kUrl), withUrl + " -k  -nomerge ");
    EXPECT_EQ(InternetExplorerCommand(ie, "7", "", kUrl), withUrl);
    EXPECT_EQ(InternetExplorerCommand(ie, "9", "800x600", kUrl), withUrl);
    // Without "%1" the browser gets no URL and opens its home page.
    EXPECT_EQ(InternetExplorerCommand("C:\\ie\\iexplore.exe", "8", "kiosk", kUrl),
              "C:\\ie\\iexplore.exe -k  -nomerge ");
}

TEST(ChromiumCommand, PrivateProfileNoQuestionsNewWindowAndTheSize) {
    const std::string chrome = "C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe";
    const std::string profile =
        "C:\\Documents and Settings\\me\\Temp\\Trailhost_12\\browser-profile";
    const Args common{chrome, "--user-data-dir=" + profile, "--no-first-run",
                      "--no-default-browser-check", "--new-window"};
    auto with = [&](Args extra) {
        Args args = common;
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(kUrl);
        return args;
    };
    EXPECT_EQ(SplitWindowsCommandLine(ChromiumCommand(chrome, profile, "", kUrl)), with({}));
    EXPECT_EQ(SplitWindowsCommandLine(ChromiumCommand(chrome, profile, "kiosk", kUrl)),
              with({"--kiosk"}));
    EXPECT_EQ(SplitWindowsCommandLine(ChromiumCommand(chrome, profile, "Maximize", kUrl)),
              with({"--start-maximized"}));
    EXPECT_EQ(SplitWindowsCommandLine(ChromiumCommand(chrome, profile, "800x600", kUrl)),
              with({"--window-position=0,0", "--window-size=800,600"}));
    EXPECT_EQ(SplitWindowsCommandLine(ChromiumCommand(chrome, profile, "600", kUrl)), with({}));

    // Kiosk is no window size for the launcher; other sizes pass through.
    EXPECT_EQ(ChromiumLaunchSize("Kiosk"), "");
    EXPECT_EQ(ChromiumLaunchSize("800x600"), "800x600");
}

TEST(DefaultChoice, WindowsHandlerNames) {
    const std::string chrome =
        "\"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe\" "
        "--single-argument %1";
    const struct {
        const char* progId;
        std::string command;
        DefaultBrowserKind kind;
    } cases[] = {
        {"FirefoxHtml", "", DefaultBrowserKind::kFirefox},
        {"FIREFOXHTML", "", DefaultBrowserKind::kFirefox},
        {"fIrEfOxHtMl", "", DefaultBrowserKind::kFirefox},
        // Today's Firefox names its ids after its install.
        {"FirefoxHTML-308046B0AF4A39CB", "", DefaultBrowserKind::kFirefox},
        {"FirefoxURL-308046B0AF4A39CB", "", DefaultBrowserKind::kFirefox},
        {"FirefoxURL", "", DefaultBrowserKind::kFirefox},
        {"FirefoxHTMLX", "", DefaultBrowserKind::kInternetExplorer},
        {"FirefoxHTML-", "", DefaultBrowserKind::kInternetExplorer},
        {"MozillaHtml", "", DefaultBrowserKind::kMozilla},
        {"mozillahtml", "", DefaultBrowserKind::kMozilla},
        {"MozillaURL", "", DefaultBrowserKind::kMozilla},
        {"MozillaHtml2", "", DefaultBrowserKind::kInternetExplorer},
        {"", "", DefaultBrowserKind::kInternetExplorer},
        {"", chrome, DefaultBrowserKind::kInternetExplorer},
        {"htmlfile", "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" %1",
         DefaultBrowserKind::kInternetExplorer},
        {"htmlfile", "", DefaultBrowserKind::kInternetExplorer},
        {"IE.HTTP", "", DefaultBrowserKind::kInternetExplorer},
        {"SomeHTML", "C:\\IE\\IEXPLORE.EXE -nohome", DefaultBrowserKind::kInternetExplorer},
        {"ChromeHTML", chrome, DefaultBrowserKind::kChromium},
        {"chromehtml", "", DefaultBrowserKind::kChromium},
        {"MSEdgeHTM", "", DefaultBrowserKind::kChromium},
        {"BraveHTML", "", DefaultBrowserKind::kChromium},
        {"VivaldiHTM", "", DefaultBrowserKind::kChromium},
        {"ChromiumHTM.ABCDEFGHIJ", "", DefaultBrowserKind::kChromium},
        // A variant id of the family is known by its program.
        {"ChromiumBeta.ABCDEFGHIJ", "C:\\Chromium\\chrome.exe -- \"%1\"",
         DefaultBrowserKind::kChromium},
        {"MSEdgeSomething", "\"C:\\Edge\\MSEDGE.EXE\" --single-argument %1",
         DefaultBrowserKind::kChromium},
        // Any other browser is started by its own command; without one there is nothing to start.
        {"OperaStable", "\"C:\\Opera\\launcher.exe\" -noautoupdate -- \"%1\"",
         DefaultBrowserKind::kHandlerCommand},
        {"AppXq0fevzme2pys62n3e0fbqa7peapykr8v", "", DefaultBrowserKind::kInternetExplorer},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.progId);
        EXPECT_EQ(KindForProgId(c.progId, c.command), c.kind);
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
    EXPECT_EQ(KindForExecutable("/usr/lib/firefox-esr/firefox-esr"), DefaultBrowserKind::kFirefox);
    EXPECT_EQ(KindForExecutable("firefox"), DefaultBrowserKind::kFirefox);
    EXPECT_EQ(KindForExecutable("/usr/bin/seamonkey"), DefaultBrowserKind::kMozilla);
    EXPECT_EQ(KindForExecutable("/usr/bin/chromium"), DefaultBrowserKind::kChromium);
    EXPECT_EQ(KindForExecutable("google-chrome-stable"), DefaultBrowserKind::kChromium);
    EXPECT_EQ(KindForExecutable("/opt/microsoft/msedge/microsoft-edge"),
              DefaultBrowserKind::kChromium);
    EXPECT_EQ(KindForExecutable("/usr/bin/epiphany"), DefaultBrowserKind::kHandlerCommand);
    EXPECT_EQ(KindForExecutable(""), DefaultBrowserKind::kHandlerCommand);
}

TEST(DesktopExec, FieldCodesAndQuoting) {
    EXPECT_EQ(DesktopExecArguments("/usr/lib/firefox-esr/firefox-esr %u", kUrl),
              (Args{"/usr/lib/firefox-esr/firefox-esr", kUrl}));
    EXPECT_EQ(DesktopExecArguments("\"/opt/My Browser/run\" --class=%c %i --new-window %U", kUrl),
              (Args{"/opt/My Browser/run", "--class=", "--new-window", kUrl}));
    EXPECT_EQ(DesktopExecArguments("env \"A=b c\" prog 100%% %F", kUrl),
              (Args{"env", "A=b c", "prog", "100%", kUrl}));
    EXPECT_EQ(DesktopExecArguments("say \"\\\"hi\\\" \\$HOME\" %k %f", "x"),
              (Args{"say", "\"hi\" $HOME", "x"}));
    // A handler that names no place for the URL gets it last.
    EXPECT_EQ(DesktopExecArguments("epiphany --new-window", kUrl),
              (Args{"epiphany", "--new-window", kUrl}));
    EXPECT_EQ(DesktopExecArguments("   ", kUrl), Args{});
}

TEST(WindowsQuoting, JoinedArgumentsSplitBackUnchanged) {
    const std::vector<Args> tables = {
        {"C:\\Program Files\\x.exe", "plain", "with blank", "quote\"inside", "trailing\\",
         "back\\\\\"mix", "", "tab\there"},
        {"/usr/bin/chromium", "--user-data-dir=/tmp/a b/c", "http://h:1/?a=1&b=\"2\""},
        {"prog"},
    };
    for (const Args& args : tables) {
        EXPECT_EQ(SplitWindowsCommandLine(JoinWindowsCommandLine(args)), args);
    }
    EXPECT_EQ(JoinWindowsCommandLine({"a", "b c"}), "a \"b c\"");
}

}  // namespace
