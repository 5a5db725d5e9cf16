// Windows only: browsers found through the registry and the usual install places.
#include "browser/browser_lookup.h"

#include <windows.h>

#include "sys/files.h"
#include "sys/folders.h"
#include "sys/registry.h"

namespace Browser {

namespace {

// The default value of a key, or empty when the key or the value is missing.
std::string DefaultValue(RegistryRoot root, const std::string& path) {
    CXRegistry key(root, path.c_str(), false);
    std::string value;
    if (!key.IsOpen() || !key.QueryString("", value)) {
        return "";
    }
    return value;
}

std::string OpenCommandOf(const std::string& progId) {
    return DefaultValue(RegistryRoot::ClassesRoot, progId + "\\shell\\open\\command");
}

}  // namespace

DefaultHandler FindDefaultHandler() {
    const std::string progId = DefaultValue(RegistryRoot::ClassesRoot, ".html");
    const std::string command = progId.empty() ? "" : OpenCommandOf(progId);
    DefaultHandler handler;
    handler.kind = KindForProgId(progId, command);
    if (handler.kind == DefaultBrowserKind::kChromium) {
        handler.program = ProgramOfCommand(command);
    }
    return handler;
}

bool FindMozillaCommand(bool firefox, std::string& registered) {
    CXRegistry key(
        RegistryRoot::ClassesRoot,
        firefox ? "FirefoxHTML\\shell\\open\\command" : "MozillaHTML\\shell\\open\\command", false);
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
        const std::string program = DefaultValue(
            RegistryRoot::LocalMachine,
            std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\") + name);
        if (!program.empty() && PathExists(program)) {
            return program;
        }
    }
    return "";
}

void ReadInternetExplorerRegistration(std::string& command, std::string& versionFirst) {
    command = DefaultValue(RegistryRoot::LocalMachine,
                           "SOFTWARE\\Classes\\Applications\\iexplore.exe\\shell\\open\\command");
    CXRegistry key(RegistryRoot::LocalMachine, "Software\\Microsoft\\Internet Explorer", false);
    std::string version;
    if (!key.IsOpen() || !key.QueryString("Version", version)) {
        version.clear();
    }
    versionFirst = version.substr(0, 1);
}

bool InternetExplorerExists() {
    return true;
}

std::vector<StateFolder> MozillaStateFolders(const std::string& userFolder) {
    constexpr int kCsidlLocalAppData = 28;
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
