#include <vector>

#include "browser/browser_lookup.h"
#include "browser/starters.h"
#include "config/settings.h"
#include "stack/run_journal.h"
#include "stack/runtime.h"
#include "sys/files.h"
#include "sys/thread.h"

namespace Browser {

namespace {

// The browser needs a moment after creating the profile before it is started on it.
constexpr unsigned long kAfterProfileMs = 1500;

const char kNoRemote[] = "MOZ_NO_REMOTE";

}  // namespace

bool CopyBytes(const std::string& from, const std::string& to) {
    UniqueFile source = OpenFile(from, "rb");
    if (!source) {
        return false;
    }
    UniqueFile target = OpenFile(to, "wb");
    if (!target) {
        return false;
    }
    std::vector<char> buffer(64 * 1024);
    bool ok = true;
    while (true) {
        const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), source.get());
        if (n > 0 && std::fwrite(buffer.data(), 1, n, target.get()) != n) {
            ok = false;
            break;
        }
        if (n < buffer.size()) {
            ok = std::ferror(source.get()) == 0;
            break;
        }
    }
    // On the disk before the run's journal tells of it: the next start may copy it back.
    return FlushToDisk(target.get()) && ok;
}

void DeleteProfileFolders(const std::string& folder, const std::string& suffix, bool whole) {
    std::vector<FolderEntry> entries;
    if (!ListFolder(folder, entries)) {
        return;
    }
    for (const FolderEntry& entry : entries) {
        if (entry.kind != FolderEntry::Kind::kFolder || entry.name.size() < suffix.size()) {
            continue;
        }
        const std::string tail =
            whole ? entry.name : entry.name.substr(entry.name.size() - suffix.size());
        if (SameFileName(tail, suffix)) {
            DeleteFolderTree(folder + entry.name);
        }
    }
}

CMozillaLineStarter::CMozillaLineStarter(const AppSettings& settings,
                                         const std::string& runtimeFolder, bool firefox,
                                         std::optional<std::string> registered)
    : CBrowserStarter(settings, runtimeFolder),
      firefox_(firefox),
      registered_(std::move(registered)) {}

bool CMozillaLineStarter::IsAvailable() {
    std::string command;
    return registered_.has_value() || FindMozillaCommand(firefox_, command);
}

std::string CMozillaLineStarter::Registered() {
    if (!registered_) {
        std::string command;
        FindMozillaCommand(firefox_, command);
        registered_ = command;
    }
    return *registered_;
}

void CMozillaLineStarter::RunBrowser(const std::string& startUrl) {
    const std::string registered = Registered();
    const std::string profileCommand = MozillaProfileCommand(registered, settings().serverName);
    const std::string browserCommand =
        MozillaBrowserCommand(registered, startUrl, settings().serverName);
    if (StopRequested()) {
        return;
    }
    // Hidden, and gone by itself once the profile exists.
    profileLauncher_.Launch(profileCommand, "", LaunchWait::UntilExit, false, WindowSearch::Direct,
                            settings().browserSize);
    if (!CThread::Pause(kAfterProfileMs)) {
        return;
    }
    Launch(browserCommand, LaunchWait::UntilExit, true, kMozillaBrowserSearch,
           settings().browserSize);
}

void CMozillaLineStarter::EndBrowsers() {
    EndBrowser();
    profileLauncher_.Cancel();
    profileLauncher_.TerminateTree();
}

std::string CFirfoxStarter::ProfileListPath() const {
    return FirefoxFolder(UserFolder()) + "profiles.ini";
}

std::string CFirfoxStarter::SavedProfileListPath() const {
    return FirefoxFolder(UserFolder()) + "profiles.ini.trh";
}

std::string CFirfoxStarter::ProfilesFolder() const {
    return FirefoxProfilesFolder(UserFolder());
}

void CFirfoxStarter::StartWithUrl(const std::string& startUrl) {
    if (StopRequested()) {
        return;
    }
    SetEnvironmentValue(kNoRemote, "1");
    // Without a profile list to put back (Firefox never ran for this user), no run is made.
    if (!CopyBytes(ProfileListPath(), SavedProfileListPath())) {
        return;
    }
    listSaved_ = true;
    RecordInJournal(runtimeFolder(), journal::kProfileList,
                    {ProfileListPath(), SavedProfileListPath()});
    RecordInJournal(runtimeFolder(), journal::kProfiles,
                    {ProfilesFolder(), "." + MozillaProfileName(settings().serverName), "0"});
    AddHostToProxyOverride();
    RunBrowser(startUrl);
}

void CFirfoxStarter::Stop() {
    EndBrowsers();
    RestoreProxyOverride();
    DeleteProfileFolders(ProfilesFolder(), "." + MozillaProfileName(settings().serverName), false);
    // Only the copy this run made is put back: an older one would undo the user's changes since.
    if (listSaved_ && CopyBytes(SavedProfileListPath(), ProfileListPath())) {
        listSaved_ = false;
        SetEnvironmentValue(kNoRemote, "0");
    }
}

std::string CMozillaStarter::ProfilesFolder() const {
    return MozillaProfilesFolder(UserFolder());
}

void CMozillaStarter::StartWithUrl(const std::string& startUrl) {
    if (StopRequested()) {
        return;
    }
    SetEnvironmentValue(kNoRemote, "1");
    RecordInJournal(runtimeFolder(), journal::kProfiles,
                    {ProfilesFolder(), MozillaProfileName(settings().serverName), "1"});
    AddHostToProxyOverride();
    RunBrowser(startUrl);
}

void CMozillaStarter::Stop() {
    EndBrowsers();
    DeleteProfileFolders(ProfilesFolder(), MozillaProfileName(settings().serverName), true);
    SetEnvironmentValue(kNoRemote, "0");
    RestoreProxyOverride();
}

}  // namespace Browser
