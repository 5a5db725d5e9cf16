#include <vector>

#include "browser/browser_lookup.h"
#include "browser/starters.h"
#include "config/settings.h"
#include "stack/run_journal.h"
#include "stack/stack_trace.h"
#include "sys/files.h"
#include "sys/folders.h"
#include "sys/trace.h"

namespace Browser {

namespace {

// What a fresh profile starts with: no first-run pages, default-browser question or question on
// quitting, and nothing sent anywhere or kept for sending (crash reports, telemetry, health
// reports).
const char kUserPrefs[] =
    "user_pref(\"browser.shell.checkDefaultBrowser\", false);\n"
    "user_pref(\"browser.startup.homepage_override.mstone\", \"ignore\");\n"
    "user_pref(\"startup.homepage_welcome_url\", \"\");\n"
    "user_pref(\"startup.homepage_welcome_url.additional\", \"\");\n"
    "user_pref(\"browser.aboutwelcome.enabled\", false);\n"
    "user_pref(\"browser.warnOnQuit\", false);\n"
    "user_pref(\"browser.warnOnQuitShortcut\", false);\n"
    "user_pref(\"browser.tabs.warnOnClose\", false);\n"
    "user_pref(\"datareporting.policy.dataSubmissionEnabled\", false);\n"
    "user_pref(\"datareporting.healthreport.uploadEnabled\", false);\n"
    "user_pref(\"toolkit.telemetry.enabled\", false);\n"
    "user_pref(\"toolkit.telemetry.unified\", false);\n"
    "user_pref(\"toolkit.telemetry.archive.enabled\", false);\n"
    "user_pref(\"browser.crashReports.unsubmittedCheck.enabled\", false);\n"
    "user_pref(\"browser.tabs.crashReporting.sendReport\", false);\n"
    "user_pref(\"browser.sessionstore.resume_from_crash\", false);\n"
    "user_pref(\"toolkit.startup.max_resumed_crashes\", -1);\n";

}  // namespace

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

std::string CMozillaLineStarter::ProfileFolder() {
    return PrivateProfileFolder(runtimeFolder(), ProgramOfCommand(Registered()), UserFolder());
}

void CMozillaLineStarter::StartWithUrl(const std::string& startUrl) {
    const std::string registered = Registered();
    const std::string profile = ProfileFolder();
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (StopRequested()) {
            return;
        }
        // Written down before it is made, so that the next start deletes it should this run be
        // killed; by its exact path, so that nothing else is ever taken for it.
        RecordInJournal(runtimeFolder(), journal::kProfiles, {profile});
        profileFolder_ = profile;
        madeFolders_ = RecordMissingFolders(runtimeFolder(), MozillaStateFolders(UserFolder()));
        if (!CreateFolders(profile) ||
            !WriteWholeFile(profile + kPathSeparator + "user.js", kUserPrefs)) {
            TraceLog(kStackTracePath, "The browser's profile %s could not be made\n",
                     profile.c_str());
        }
    }
    AddHostToProxyOverride();
    LaunchOptions options;
    options.wait = LaunchWait::UntilExit;
    options.show = true;
    options.search = kMozillaBrowserSearch;
    options.size = settings().browserSize;
    options.environment = {{"MOZ_NO_REMOTE", "1"}, {"MOZ_CRASHREPORTER_DISABLE", "1"}};
    Launch(MozillaBrowserCommand(registered, startUrl, profile), options);
}

void CMozillaLineStarter::Stop() {
    EndBrowser();
    RestoreProxyOverride();
    std::lock_guard<std::mutex> hold(lock_);
    if (!profileFolder_.empty()) {
        DeleteFolderTree(profileFolder_);
        if (PathExists(profileFolder_)) {
            NoteUndoFailed();
        }
        profileFolder_.clear();
    }
    if (!RemoveMadeFolders(madeFolders_)) {
        NoteUndoFailed();
    }
    madeFolders_.clear();
}

}  // namespace Browser
