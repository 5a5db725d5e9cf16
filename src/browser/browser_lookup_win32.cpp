// Windows only: browsers found through the registry and the usual install places.
#include "browser/browser_lookup.h"

#include <windows.h>

#include "sys/files.h"
#include "sys/folders.h"
#include "sys/os_version.h"
#include "sys/registry.h"

namespace Browser {

namespace {

// Reading needs no more: a standard user may not open the machine's keys for writing.
constexpr unsigned long kReadOnly = KEY_READ;

// A value of a key as text, or empty when the key or the value is missing.
std::string ValueOf(RegistryRoot root, const std::string& path, const char* name,
                    unsigned long access = kReadOnly) {
    CXRegistry key(root, path.c_str(), false, access);
    std::string value;
    if (!key.IsOpen() || !key.QueryString(name, value)) {
        return "";
    }
    return value;
}

std::string DefaultValue(RegistryRoot root, const std::string& path) {
    return ValueOf(root, path, "");
}

// A program id's open command: the user's own classes first, then the merged view.
std::string OpenCommandOf(const std::string& progId) {
    const std::string path = progId + "\\shell\\open\\command";
    const std::string own = DefaultValue(RegistryRoot::CurrentUser, "Software\\Classes\\" + path);
    return own.empty() ? DefaultValue(RegistryRoot::ClassesRoot, path) : own;
}

// The program an installed browser registered under "App Paths", when it is there. A 64-bit
// browser registers in the 64-bit view of the machine's keys, a 32-bit one in the 32-bit view.
std::string AppPath(const std::string& executable) {
    const std::string path =
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + executable;
    for (const unsigned long view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        const std::string program = ValueOf(RegistryRoot::LocalMachine, path, "", kReadOnly | view);
        if (!program.empty() && PathExists(program)) {
            return program;
        }
    }
    return "";
}

// The program id of the user's default browser: the choice made for web addresses, else the
// one made for HTML files, else the classes' association of ".html".
std::string DefaultProgId() {
    for (const char* choice :
         {"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoice",
          "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.html\\UserChoice"}) {
        const std::string progId = ValueOf(RegistryRoot::CurrentUser, choice, "ProgId");
        if (!progId.empty()) {
            return progId;
        }
    }
    return DefaultValue(RegistryRoot::ClassesRoot, ".html");
}

// Internet Explorer's program, where its registration or its usual install places name one.
bool InternetExplorerInstalled() {
    std::string command;
    std::string version;
    ReadInternetExplorerRegistration(command, version);
    const std::string registered = ProgramOfCommand(command);
    if (!registered.empty() && PathExists(registered)) {
        return true;
    }
    const std::string programs = GetSpecialFolderPath(kCsidlProgramFiles);
    return PathExists(programs + "\\Internet Explorer\\iexplore.exe") ||
           PathExists(programs + "\\Plus!\\Microsoft Internet\\iexplore.exe");
}

}  // namespace

DefaultHandler FindDefaultHandler() {
    return FindDefaultHandlerFor(ZUL::CSystemVersion::GetSystemMajorVersion());
}

DefaultHandler FindDefaultHandlerFor(unsigned long windowsMajor) {
    const std::string progId = DefaultProgId();
    const std::string command = progId.empty() ? "" : OpenCommandOf(progId);
    DefaultHandler handler;
    handler.kind = KindForProgId(progId, command);
    switch (handler.kind) {
        case DefaultBrowserKind::kFirefox:
        case DefaultBrowserKind::kMozilla:
        case DefaultBrowserKind::kHandlerCommand:
            handler.program = command;
            break;
        case DefaultBrowserKind::kChromium:
            handler.program = ProgramOfCommand(command);
            break;
        case DefaultBrowserKind::kInternetExplorer:
            // From Windows 10 on, Internet Explorer's program passes the page to Edge and ends at
            // once: the run would end with it. Edge is then the browser, else any of its family.
            if (windowsMajor < 10 && InternetExplorerInstalled()) {
                break;
            }
            handler.program = AppPath("msedge.exe");
            if (handler.program.empty()) {
                handler.program = FindChromiumExecutable();
            }
            if (!handler.program.empty()) {
                handler.kind = DefaultBrowserKind::kChromium;
            }
            break;
    }
    return handler;
}

bool FindMozillaCommand(bool firefox, std::string& registered) {
    CXRegistry key(
        RegistryRoot::ClassesRoot,
        firefox ? "FirefoxHTML\\shell\\open\\command" : "MozillaHTML\\shell\\open\\command", false,
        kReadOnly);
    registered.clear();
    if (!key.IsOpen()) {
        return false;
    }
    if (!key.QueryString("", registered)) {
        registered.clear();
    }
    return true;
}

std::string FindChromiumExecutable() {
    for (const char* progId : {"ChromeHTML", "MSEdgeHTM", "ChromiumHTM", "BraveHTML"}) {
        const std::string program = ProgramOfCommand(OpenCommandOf(progId));
        if (!program.empty() && PathExists(program)) {
            return program;
        }
    }
    for (const char* name : {"chrome.exe", "msedge.exe", "brave.exe"}) {
        const std::string program = AppPath(name);
        if (!program.empty()) {
            return program;
        }
    }
    return "";
}

void ReadInternetExplorerRegistration(std::string& command, std::string& versionFirst) {
    command = DefaultValue(RegistryRoot::LocalMachine,
                           "SOFTWARE\\Classes\\Applications\\iexplore.exe\\shell\\open\\command");
    versionFirst =
        ValueOf(RegistryRoot::LocalMachine, "Software\\Microsoft\\Internet Explorer", "Version")
            .substr(0, 1);
}

bool InternetExplorerRuns() {
    return ZUL::CSystemVersion::GetSystemMajorVersion() < 10 && InternetExplorerInstalled();
}

std::vector<std::string> HandlerCommandArguments(const std::string& command,
                                                 const std::string& url) {
    return OpenCommandArguments(command, url);
}

std::vector<StateFolder> MozillaStateFolders(const std::string& userFolder) {
    std::vector<StateFolder> folders;
    for (const char* root : {"Mozilla/Firefox", "Mozilla/SeaMonkey"}) {
        for (const char* leaf : {"Crash Reports", "Pending Pings", "Profile Groups"}) {
            folders.push_back({userFolder, std::string(root) + "/" + leaf});
        }
    }
    const std::string local = GetSpecialFolderPath(kCsidlLocalAppData);
    if (!local.empty()) {
        folders.push_back({local, "Mozilla/Firefox"});
    }
    return folders;
}

std::vector<std::pair<std::string, std::string>> ChromiumEnvironment(
    const std::string& /*homeFolder*/) {
    return {};
}

std::string PrivateProfileFolder(const std::string& runtimeFolder, const std::string& /*program*/,
                                 const std::string& /*userFolder*/) {
    return runtimeFolder + (runtimeFolder.empty() || runtimeFolder.back() == '\\' ? "" : "\\") +
           "browser-profile";
}

}  // namespace Browser
