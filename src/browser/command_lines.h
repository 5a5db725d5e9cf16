// The text rules of the browser starters: how each browser's command line is built from its
// registered command, the settings and the start URL, and how a default handler is recognised.
// Pure functions, so that every rule can be checked by a table.
#pragma once

#include <string>
#include <vector>

namespace Browser {

// The browser command of the Mozilla line: the registered command's arguments, with every "%1"
// in them replaced by the URL and the arguments "-requestPending" and "-osint" left out, then
// -no-remote, -profile and the profile folder; each argument stays one argument whatever it
// holds. An empty registration gives an empty command.
std::string MozillaBrowserCommand(const std::string& registered, const std::string& startUrl,
                                  const std::string& profileFolder);

// The program a command line starts: its first argument by the Windows rules.
std::string ProgramOfCommand(const std::string& command);

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
    kInternetExplorer,  // Windows: Internet Explorer, or nothing usable is registered
    kFirefox,
    kMozilla,
    kChromium,
    kHandlerCommand,  // any other handler, started by its own command line
};

// The choice for a Windows HTML or http program id and that id's open command: Firefox's ids
// ("FirefoxHTML", "FirefoxURL", also with the "-" suffix of an install), the Mozilla suite's
// ("MozillaHTML", "MozillaURL"), the Chromium family's ("ChromeHTML", "MSEdgeHTM", "ChromiumHTM",
// "BraveHTML", "VivaldiHTM", their channel variants, also with a "." suffix) or any id whose
// command starts a Chromium-family executable; Internet Explorer for its own ids, a command that
// starts iexplore.exe, an empty id, and an id without a command; any other id with a command is
// started by that command.
DefaultBrowserKind KindForProgId(const std::string& progId, const std::string& openCommand);

// The arguments that a registered open command (a program id's shell\open\command) is started
// with for one URL: the command split by the Windows rules, each "%1" and "%L" (any case)
// replaced by the URL, which stays one argument; a command that names no place for it gets it
// last.
std::vector<std::string> OpenCommandArguments(const std::string& command, const std::string& url);

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
