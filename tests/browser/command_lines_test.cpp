// The browsers' command lines and the choice of the default starter, by table.
#include "browser/command_lines.h"

#include <gtest/gtest.h>

#include "stack/web_server.h"
#include "sys/launcher.h"

namespace {

using namespace Browser;
using Args = std::vector<std::string>;

const char kUrl[] = "http://trailhost.test:4001/index.php?a=1";
const char kFirefox[] = "\"C:\\Program Files\\Mozilla Firefox\\firefox.exe\"";

const char kFirefoxPath[] = "C:\\Program Files\\Mozilla Firefox\\firefox.exe";

TEST(MozillaCommands, RegisteredFirefoxCommand) {
    const std::string registered = std::string(kFirefox) + " -requestPending -osint -url \"%1\"";
    EXPECT_EQ(SplitWindowsCommandLine(MozillaBrowserCommand(registered, kUrl, "Trailhost")),
              (Args{kFirefoxPath, "-url", kUrl, "-no-remote", "-p", "Trailhost"}));
    EXPECT_EQ(SplitWindowsCommandLine(MozillaProfileCommand(registered, "Trailhost")),
              (Args{kFirefoxPath, "-no-remote", "-CreateProfile", "Trailhost"}));
    // The registered options around the URL stay where they are.
    EXPECT_EQ(SplitWindowsCommandLine(MozillaBrowserCommand(
                  std::string(kFirefox) + " -new-tab -url \"%1\" -x", kUrl, "T")),
              (Args{kFirefoxPath, "-new-tab", "-url", kUrl, "-x", "-no-remote", "-p", "T"}));
}

// Firefox reads a blank in -CreateProfile's value as the start of the profile's folder: the
// profile's name has none, and both commands name the same profile.
TEST(MozillaCommands, TheProfileNameIsOneWordOfTheServerName) {
    const std::pair<const char*, const char*> cases[] = {
        {"Trailhost", "Trailhost"},     {"Trail Host", "Trail_Host"},
        {"-safe-mode", "_safe-mode"},   {"a/b\\c:d", "a_b_c_d"},
        {"q\"uote\ttab", "q_uote_tab"}, {"Caf\xc3\xa9 v1.2", "Caf\xc3\xa9_v1.2"},
    };
    const std::string registered = std::string(kFirefox) + " -osint -url \"%1\"";
    for (const auto& c : cases) {
        EXPECT_EQ(MozillaProfileName(c.first), c.second) << c.first;
        EXPECT_EQ(SplitWindowsCommandLine(MozillaBrowserCommand(registered, kUrl, c.first)).back(),
                  c.second);
        EXPECT_EQ(SplitWindowsCommandLine(MozillaProfileCommand(registered, c.first)).back(),
                  c.second);
    }
}

// Without its -url part the profile command would start a hidden browser; it must still only
// create the profile.
TEST(MozillaCommands, RegistrationWithoutUrlPartStillOnlyCreatesTheProfile) {
    const Args expected{kFirefoxPath, "-no-remote", "-CreateProfile", "Trailhost"};
    for (const std::string tail : {" \"%1\"", " %1", " -osint", ""}) {
        SCOPED_TRACE(tail);
        const std::string registered = kFirefox + tail;
        EXPECT_EQ(SplitWindowsCommandLine(MozillaProfileCommand(registered, "Trailhost")),
                  expected);
    }
    const Args browser = SplitWindowsCommandLine(
        MozillaBrowserCommand(kFirefox + std::string(" \"%1\""), kUrl, "T"));
    EXPECT_EQ(browser, (Args{kFirefoxPath, kUrl, "-no-remote", "-p", "T"}));
    // Nothing registered: nothing to start.
    EXPECT_EQ(MozillaProfileCommand("", "Trailhost"), "");
    EXPECT_EQ(MozillaBrowserCommand(" ", kUrl, "Trailhost"), "");
}

TEST(InternetExplorerCommand, KioskInAnyCaseAndTheVersionsThatNeedNomerge) {
    const std::string ie = "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" %1";
    const std::string path = "C:\\Program Files\\Internet Explorer\\iexplore.exe";
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
        Args expected{path, kUrl};
        expected.insert(expected.end(), c.tail.begin(), c.tail.end());
        EXPECT_EQ(SplitWindowsCommandLine(InternetExplorerCommand(ie, c.version, c.size, kUrl)),
                  expected)
            << c.version << " " << c.size;
    }
    // Without "%1" the browser gets no URL and opens its home page.
    EXPECT_EQ(SplitWindowsCommandLine(
                  InternetExplorerCommand("C:\\ie\\iexplore.exe", "8", "kiosk", kUrl)),
              (Args{"C:\\ie\\iexplore.exe", "-k", "-nomerge"}));
}

// Hostile -urlparam and ServerName values, and what every browser gets from them: the URL is
// one argument whatever the parameter holds, the profile one word, and neither adds a switch.
TEST(BrowserCommands, HostileParametersAndNamesStayOneArgumentEach) {
    const struct {
        const char* serverName;
        const char* urlParam;
        const char* profile;  // what -p and -CreateProfile get
        const char* url;      // what every browser gets
    } cases[] = {
        {"Trailhost Demo", "x\" -profile \"/tmp/p", "Trailhost_Demo",
         "http://h:4001/index.php?x%22%20-profile%20%22/tmp/p"},
        {"-safe-mode", "a b&c;d|e", "_safe-mode", "http://h:4001/index.php?a%20b&c;d|e"},
        {"x\\\" -profile y", "-osint", "x___-profile_y", "http://h:4001/index.php?-osint"},
        {"%1", "%1 -requestPending", "%1", "http://h:4001/index.php?%1%20-requestPending"},
        {"a\"b", "end\\", "a_b", "http://h:4001/index.php?end\\"},
        {"n\nl", "\\\"\t\n-k", "n_l", "http://h:4001/index.php?\\%22%09%0A-k"},
    };
    const std::string chrome = "/usr/bin/chromium";
    const std::string profileFolder = "/tmp/Trailhost 5/browser-profile";
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.serverName) + " | " + c.urlParam);
        const std::string url = BuildStartUrl("h", 4001, "index.php", c.urlParam);
        ASSERT_EQ(url, c.url);
        // Firefox as Windows registers it, and as the Linux lookup gives it.
        EXPECT_EQ(
            SplitWindowsCommandLine(MozillaBrowserCommand(
                std::string(kFirefox) + " -requestPending -osint -url \"%1\"", url, c.serverName)),
            (Args{kFirefoxPath, "-url", c.url, "-no-remote", "-p", c.profile}));
        EXPECT_EQ(SplitWindowsCommandLine(
                      MozillaBrowserCommand("/usr/bin/firefox -url \"%1\"", url, c.serverName)),
                  (Args{"/usr/bin/firefox", "-url", c.url, "-no-remote", "-p", c.profile}));
        EXPECT_EQ(SplitWindowsCommandLine(MozillaProfileCommand(
                      std::string(kFirefox) + " -osint -url \"%1\"", c.serverName)),
                  (Args{kFirefoxPath, "-no-remote", "-CreateProfile", c.profile}));
        EXPECT_EQ(SplitWindowsCommandLine(InternetExplorerCommand(
                      "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" %1", "8", "", url)),
                  (Args{"C:\\Program Files\\Internet Explorer\\iexplore.exe", c.url, "-nomerge"}));
        EXPECT_EQ(SplitWindowsCommandLine(ChromiumCommand(chrome, profileFolder, "", url)),
                  (Args{chrome, "--user-data-dir=" + profileFolder, "--no-first-run",
                        "--no-default-browser-check", "--new-window", c.url}));
        EXPECT_EQ(SplitWindowsCommandLine(PathBrowserCommand("/opt/my browser/run", url)),
                  (Args{"/opt/my browser/run", c.url}));
        EXPECT_EQ(SplitWindowsCommandLine(PathBrowserCommand("D:\\Portable Firefox\\ffp.exe", url)),
                  (Args{"D:\\Portable Firefox\\ffp.exe", c.url}));
    }
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
        {"MozillaHtml", "", DefaultBrowserKind::kMozilla},
        {"mozillahtml", "", DefaultBrowserKind::kMozilla},
        {"FirefoxHTML-308046B0AF4A39CB", "", DefaultBrowserKind::kInternetExplorer},
        {"MozillaHtml2", "", DefaultBrowserKind::kInternetExplorer},
        {"", "", DefaultBrowserKind::kInternetExplorer},
        {"htmlfile", "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" %1",
         DefaultBrowserKind::kInternetExplorer},
        {"ChromeHTML", chrome, DefaultBrowserKind::kChromium},
        {"chromehtml", "", DefaultBrowserKind::kChromium},
        {"MSEdgeHTM", "", DefaultBrowserKind::kChromium},
        {"BraveHTML", "", DefaultBrowserKind::kChromium},
        // A variant id of the family is known by its program.
        {"ChromiumHTM.ABCDEFGHIJ", "C:\\Chromium\\chrome.exe -- \"%1\"",
         DefaultBrowserKind::kChromium},
        {"MSEdgeSomething", "\"C:\\Edge\\MSEDGE.EXE\" --single-argument %1",
         DefaultBrowserKind::kChromium},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.progId);
        EXPECT_EQ(KindForProgId(c.progId, c.command), c.kind);
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

}  // namespace
