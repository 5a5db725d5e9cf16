// Where the browsers of this machine are found: the registry on Windows; on Linux the desktop's
// default handler (xdg-mime and .desktop files) and the programs on PATH.
#pragma once

#include <string>

#include "browser/command_lines.h"
#include "sys/launcher.h"

namespace Browser {

// The system's default handler of HTML pages, as the default starter needs it.
struct DefaultHandler {
    DefaultBrowserKind kind = DefaultBrowserKind::kInternetExplorer;
    // kChromium: the browser's executable (may be empty on Windows: then one is looked for).
    // kFirefox, kMozilla: the open command in the registered form, "-url "%1"" included; empty
    // on Windows, where the starter reads the registration itself. kHandlerCommand: the
    // desktop entry's Exec value.
    std::string program;
};

DefaultHandler FindDefaultHandler();

// The open command that Firefox (firefox true) or the Mozilla suite registered: the quoted
// executable with options that hold -url "%1". False when the browser is not there (Windows:
// its command key cannot be opened; Linux: no such program on PATH); the command is then empty.
bool FindMozillaCommand(bool firefox, std::string& registered);

// A Chromium-family executable of this machine; empty when there is none.
std::string FindChromiumExecutable();

// Internet Explorer's registration: its open command and the first character of its version,
// each empty when missing. Linux has neither.
void ReadInternetExplorerRegistration(std::string& command, std::string& versionFirst);
bool InternetExplorerExists();

// The Firefox folder that holds "profiles.ini" under the user's application-data folder, and the
// folder in which Firefox makes new profiles; the Mozilla suite's profiles folder. Each ends with
// a separator.
std::string FirefoxFolder(const std::string& userFolder);
std::string FirefoxProfilesFolder(const std::string& userFolder);
std::string MozillaProfilesFolder(const std::string& userFolder);

// Whether a folder entry is named `name`, in the letter case rules of the file system.
bool SameFileName(const std::string& entry, const std::string& name);

// Firefox may start its real browser from a launcher process or a wrapper script that ends; a
// portable Firefox's launcher starts it as "ffp.exe".
constexpr WindowSearch kMozillaBrowserSearch = WindowSearch::Handover;
constexpr WindowSearch kPortableFirefoxSearch = WindowSearch::Handover;
constexpr char kPortableFirefoxProcess[] = "ffp.exe";

}  // namespace Browser
