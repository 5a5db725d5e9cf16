// Where the browsers of this machine are found: the registry on Windows; on Linux the desktop's
// default handler (xdg-mime and .desktop files) and the programs on PATH.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "browser/command_lines.h"
#include "browser/state_folders.h"
#include "sys/launcher.h"

namespace Browser {

// The system's default handler of HTML pages, as the default starter needs it.
struct DefaultHandler {
    DefaultBrowserKind kind = DefaultBrowserKind::kInternetExplorer;
    // kChromium: the browser's executable (may be empty on Windows: then one is looked for).
    // kFirefox, kMozilla: the open command in the registered form, "-url "%1"" included (empty
    // on Windows when the id has none: the starter then reads the browser's registration).
    // kHandlerCommand: the handler's command (Windows: the program id's open command; Linux:
    // the desktop entry's Exec value).
    std::string program;
};

// Windows: the user's choice for web addresses, else for HTML files, else the ".html"
// association, each id's command read from the user's classes first. Internet Explorer only
// where it still runs as a browser of its own; elsewhere Edge, else another Chromium-family
// browser of the machine. Linux: the desktop's handler, else a browser found on PATH.
DefaultHandler FindDefaultHandler();
#ifdef _WIN32
// The same on a Windows of the given major version number.
DefaultHandler FindDefaultHandlerFor(unsigned long windowsMajor);
#endif

// The arguments a handler's command is started with for the URL: the Windows open command's
// placeholders, or the desktop entry's field codes (Linux).
std::vector<std::string> HandlerCommandArguments(const std::string& command,
                                                 const std::string& url);

// The open command that Firefox (firefox true) or the Mozilla suite registered: the quoted
// executable with options that hold -url "%1". False when the browser is not there (Windows:
// its command key cannot be opened; Linux: no such program on PATH); the command is then empty.
bool FindMozillaCommand(bool firefox, std::string& registered);

// A Chromium-family executable of this machine; empty when there is none.
std::string FindChromiumExecutable();

// Internet Explorer's registration: its open command and the first character of its version,
// each empty when missing. Linux has neither.
void ReadInternetExplorerRegistration(std::string& command, std::string& versionFirst);
// Whether Internet Explorer runs as a browser of its own here: installed, on a Windows before 10
// (from 10 on its program hands the page to Edge and ends). Never on Linux.
bool InternetExplorerRuns();

// The folders that Firefox or the Mozilla suite may make beside a profile of their own, under the
// user's application-data folder (Windows: also the local one) or home folder (Linux: also the
// XDG configuration and cache folders, the folders of the sandboxed packages that are installed,
// and the downloads folder).
std::vector<StateFolder> MozillaStateFolders(const std::string& userFolder);

// The variables a Chromium-family browser gets so that it keeps its state in `homeFolder`, not in
// the user's folders (Linux: the XDG configuration and cache folders; its profile is given on
// its command line). None on Windows.
std::vector<std::pair<std::string, std::string>> ChromiumEnvironment(const std::string& homeFolder);

// Where the run's private profile of a Mozilla-line browser goes: the runtime folder's
// "browser-profile", unless the browser runs sandboxed (Linux: a snap or flatpak package, which
// cannot reach the temporary folder) and the profile must lie in the package's own folder under
// the home folder; named after the runtime folder there.
std::string PrivateProfileFolder(const std::string& runtimeFolder, const std::string& program,
                                 const std::string& userFolder);

// Firefox may start its real browser from a launcher process or a wrapper script that ends; a
// portable Firefox's launcher starts it as "ffp.exe".
constexpr WindowSearch kMozillaBrowserSearch = WindowSearch::Handover;
constexpr WindowSearch kPortableFirefoxSearch = WindowSearch::Handover;
// A handler's own command may start a launcher or a wrapper script that hands over and ends.
constexpr WindowSearch kHandlerCommandSearch = WindowSearch::Handover;
constexpr char kPortableFirefoxProcess[] = "ffp.exe";

}  // namespace Browser
