// The text rules of the browser starters: how each browser's command line is built from its
// registered command, the settings and the start URL, and how a default handler is recognised.
// Pure functions, so that every rule can be checked by a table.
#pragma once

#include <string>
#include <vector>

namespace Browser {

// Every command below is built as a list of arguments and joined by the Windows rules
// (JoinWindowsCommandLine), so that the URL, the profile name and a path each reach the browser as
// one argument whatever they hold; a registered command is first taken apart by the same rules.

// The name the run's Mozilla profile gets: the server name with every character that the
// browser or the file system would read as more than a name (a blank, which separates a
// profile's name from its folder in -CreateProfile, separators, quotes, control characters)
// turned into '_', and a leading '-' too, so that it is never read as a switch.
std::string MozillaProfileName(const std::string& serverName);

// The browser command of the Mozilla line: the registered command's arguments, with "%1" in them
// replaced by the URL and "-requestPending" and "-osint" dropped, then -no-remote, -p and the
// profile name. Empty when nothing is registered.
std::string MozillaBrowserCommand(const std::string& registered, const std::string& startUrl,
                                  const std::string& serverName);

// The command that creates the run's profile and ends: the registered command with its
// -url "%1" pair turned into -no-remote -CreateProfile and the profile name, "-requestPending"
// and "-osint" dropped. A registration without that pair would otherwise start a hidden browser
// that nobody can close while the starter waits for it; there every "%1" is dropped and the
// profile options are appended, so the launch still only creates the profile. An empty
// registration stays empty.
std::string MozillaProfileCommand(const std::string& registered, const std::string& serverName);

// Internet Explorer's command: `command`'s arguments with every "%1" in them replaced by the
// URL, then -k for the size "KIOSK" (any case) and -nomerge when the version's first character
// is '8'.
std::string InternetExplorerCommand(const std::string& command, const std::string& version,
                                    const std::string& browserSize, const std::string& startUrl);

// The command of a browser given by its path (the external and portable Firefox starters): the
// path, as it is written, and the URL.
std::string PathBrowserCommand(const std::string& browserPath, const std::string& startUrl);

// The browser command of the Chromium family: a private profile folder, no first-run or
// default-browser questions, a new window, and the size as the browser's own options ("KIOSK" in
// any case gives --kiosk, "MAXIMIZE" --start-maximized, "WxH" a window of that size at 0,0).
std::string ChromiumCommand(const std::string& executable, const std::string& profileFolder,
                            const std::string& browserSize, const std::string& startUrl);

// The size the launcher is given for a Chromium-family browser: none for "KIOSK", which is no
// window size; the size as it is otherwise.
std::string ChromiumLaunchSize(const std::string& browserSize);

// Which starter the system-default starter hands the run to.
enum class DefaultBrowserKind {
    kInternetExplorer,
    kFirefox,
    kMozilla,
    kChromium,
    kHandlerCommand,  // Linux: any other desktop handler, started by its own command line
};

// The choice for a Windows HTML program id and that id's open command: "FirefoxHtml" and
// "MozillaHtml" exactly (any case) choose those starters; the Chromium family's ids
// ("ChromeHTML", "MSEdgeHTM", "ChromiumHTM", "BraveHTML" and their channel variants), or any id
// whose command starts a Chromium-family executable, choose the Chromium starter; anything else,
// an empty id included, chooses Internet Explorer.
DefaultBrowserKind KindForProgId(const std::string& progId, const std::string& openCommand);

// The choice for the executable of a Linux desktop handler (a path or a bare name).
DefaultBrowserKind KindForExecutable(const std::string& executable);

// Whether an executable file name (with or without ".exe", any case) is a browser of the
// Chromium family that takes the options of ChromiumCommand.
bool IsChromiumExecutable(const std::string& fileName);

// The Chromium-family program names looked for on PATH (Linux), in order of preference.
const std::vector<std::string>& ChromiumProgramNames();
// The Firefox program names looked for on PATH (Linux), in order of preference.
const std::vector<std::string>& FirefoxProgramNames();

// The arguments of a desktop entry's Exec value: blanks separate, double quotes group (with \",
// \`, \$ and \\ inside them), the field codes %u %U %f %F become the URL, %% a percent sign,
// and the other field codes are dropped.
std::vector<std::string> DesktopExecArguments(const std::string& exec, const std::string& url);

}  // namespace Browser
