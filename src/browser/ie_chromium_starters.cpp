#include "browser/browser_lookup.h"
#include "browser/starters.h"
#include "config/settings.h"
#include "sys/files.h"
#include "sys/folders.h"

namespace Browser {

namespace {

// The command of an unregistered Internet Explorer: at one of its install places, else by name
// through the system's search path.
std::string UnregisteredInternetExplorer() {
    const std::string programs = GetSpecialFolderPath(kCsidlProgramFiles);
    for (const char* place :
         {"\\Internet Explorer\\iexplore.exe", "\\Plus!\\Microsoft Internet\\iexplore.exe"}) {
        if (PathExists(programs + place)) {
            return "\"" + programs + place + "\" %1";
        }
    }
    return "iexplore %1";
}

}  // namespace

bool CInternetExplorerStarter::IsAvailable() {
    return InternetExplorerRuns();
}

void CInternetExplorerStarter::StartWithUrl(const std::string& startUrl) {
    std::string command;
    std::string version;
    ReadInternetExplorerRegistration(command, version);
    if (command.empty()) {
        command = UnregisteredInternetExplorer();
    }
    AddHostToProxyOverride();
    Launch(InternetExplorerCommand(command, version, settings().browserSize, startUrl),
           LaunchWait::UntilExit, true, WindowSearch::Direct, settings().browserSize);
}

void CInternetExplorerStarter::Stop() {
    EndBrowser();
    RestoreProxyOverride();
}

CChromiumStarter::CChromiumStarter(const AppSettings& settings, const std::string& runtimeFolder,
                                   std::string executable)
    : CBrowserStarter(settings, runtimeFolder), executable_(std::move(executable)) {}

std::string CChromiumStarter::Executable() const {
    if (!executable_.empty()) {
        return executable_;
    }
    if (!settings().browserPath.empty()) {
        return settings().browserPath;
    }
    return FindChromiumExecutable();
}

std::string CChromiumStarter::ProfileFolder() const {
    return runtimeFolder() + "browser-profile";
}

std::string CChromiumStarter::HomeFolder() const {
    return runtimeFolder() + "browser-home";
}

bool CChromiumStarter::IsAvailable() {
    const std::string program = Executable();
    return !program.empty() && PathExists(program);
}

void CChromiumStarter::StartWithUrl(const std::string& startUrl) {
    AddHostToProxyOverride();
    LaunchOptions options;
    options.wait = LaunchWait::UntilExit;
    options.show = true;
    options.size = ChromiumLaunchSize(settings().browserSize);
    options.environment = ChromiumEnvironment(HomeFolder());
    // A profile of its own: the browser cannot join a copy that already runs, so the process
    // started is the one whose end ends the run.
    Launch(ChromiumCommand(Executable(), ProfileFolder(), settings().browserSize, startUrl),
           options);
}

void CChromiumStarter::Stop() {
    EndBrowser();
    RestoreProxyOverride();
    // What the browser kept of the site (history, cookies, cache) goes with the run, whether or
    // not the runtime folder is kept.
    DeleteFolderTree(ProfileFolder());
    DeleteFolderTree(HomeFolder());
}

}  // namespace Browser
