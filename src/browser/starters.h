// The members of the browser starter family.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "browser/browser_starter.h"
#include "browser/command_lines.h"

namespace Browser {

// Hands the run to the starter of the system's default HTML handler, chosen when Start runs:
// Firefox, the Mozilla suite or the Chromium family by the handler's name (Windows: the ".html"
// program id; Linux: the desktop file that xdg-mime names, else a browser found on PATH);
// Internet Explorer for any other Windows handler, and the handler's own command on Linux.
class CSystemDefaultStarter : public CBrowserStarter {
public:
    using CBrowserStarter::CBrowserStarter;

    bool IsAvailable() override { return true; }
    void StartWithUrl(const std::string& startUrl) override;
    // The delegate's Stop; nothing when Start has not chosen one.
    void Stop() override;
    bool Followed() const override;
    void SetUserFolder(const std::string& folder) override;

    // The starter that the current default handler calls for, not started.
    std::unique_ptr<CBrowserStarter> ChooseDelegate() const;

private:
    std::string userFolder_;
    std::unique_ptr<CBrowserStarter> delegate_;  // set once, by Start
    // What Stop reaches from the frame's thread while Start runs on the runner's.
    std::atomic<CBrowserStarter*> started_{nullptr};
    std::atomic<bool> stopped_{false};
};

// A browser given by its path (BrowserPath), which may hand over to another process of the same
// executable name.
class CExternalBrowserStarter : public CBrowserStarter {
public:
    using CBrowserStarter::CBrowserStarter;

    bool IsAvailable() override;
    void StartWithUrl(const std::string& startUrl) override;
    void Stop() override;
};

// A portable Firefox given by its path, whose launcher starts the real browser as "ffp.exe" and
// ends (Windows). Linux knows no such launcher: there the started program is waited for.
class CPortableFirefoxBrowserStarter : public CBrowserStarter {
public:
    using CBrowserStarter::CBrowserStarter;

    bool IsAvailable() override;
    void StartWithUrl(const std::string& startUrl) override;
    void Stop() override;
};

// The Mozilla line's common run: a private profile named after the server, created by a hidden
// run of the browser before the visible one; MOZ_NO_REMOTE keeps both from joining a browser
// that already runs.
// Copies a file byte for byte; false, with the target untouched, when the source cannot be
// read, and false when the target cannot be written.
bool CopyBytes(const std::string& from, const std::string& to);

// Deletes every folder of `folder` whose name ends in `suffix` (with `whole`, whose name is it).
void DeleteProfileFolders(const std::string& folder, const std::string& suffix, bool whole);

class CMozillaLineStarter : public CBrowserStarter {
public:
    // `registered`: the browser's registered open command; none to look it up when needed.
    CMozillaLineStarter(const AppSettings& settings, const std::string& runtimeFolder, bool firefox,
                        std::optional<std::string> registered);

    // Windows: the browser's open command is registered; Linux: the browser is on PATH.
    bool IsAvailable() override;

protected:
    // The registered command, looked up once.
    std::string Registered();
    // The profile run, a pause, and the browser run, each skipped once Stop has come.
    void RunBrowser(const std::string& startUrl);
    // Ends the profile run too, if it is still going.
    void EndBrowsers();

private:
    bool firefox_;
    std::optional<std::string> registered_;
    // The profile run has a launcher of its own, ended with the browser's.
    ProcessLauncher profileLauncher_;
};

// An installed Firefox. Its profile list is saved before the run's profile is added and put back
// byte for byte by Stop.
class CFirfoxStarter : public CMozillaLineStarter {
public:
    CFirfoxStarter(const AppSettings& settings, const std::string& runtimeFolder,
                   std::optional<std::string> registered = std::nullopt)
        : CMozillaLineStarter(settings, runtimeFolder, true, std::move(registered)) {}

    void StartWithUrl(const std::string& startUrl) override;
    void Stop() override;

    // The profile list, its saved copy and the folder the browser makes the run's profile in.
    std::string ProfileListPath() const;
    std::string SavedProfileListPath() const;
    std::string ProfilesFolder() const;

private:
    // Set once Start has saved the list: only this run's copy is ever put back.
    std::atomic<bool> listSaved_{false};
};

// An installed Mozilla suite. No profile list is kept.
class CMozillaStarter : public CMozillaLineStarter {
public:
    CMozillaStarter(const AppSettings& settings, const std::string& runtimeFolder,
                    std::optional<std::string> registered = std::nullopt)
        : CMozillaLineStarter(settings, runtimeFolder, false, std::move(registered)) {}

    void StartWithUrl(const std::string& startUrl) override;
    void Stop() override;

    std::string ProfilesFolder() const;
};

// Internet Explorer (Windows), found through its registration or its usual install places, in
// kiosk mode for the size "KIOSK". Linux has none.
class CInternetExplorerStarter : public CBrowserStarter {
public:
    using CBrowserStarter::CBrowserStarter;

    bool IsAvailable() override;
    void StartWithUrl(const std::string& startUrl) override;
    void Stop() override;
};

// A browser of the Chromium family (Chrome, Edge, Chromium, Brave) started as its own executable
// with a private profile in the runtime folder, so that the started process is the browser and
// its end is the end of the run.
class CChromiumStarter : public CBrowserStarter {
public:
    // `executable`: the browser's program; empty for BrowserPath, else one found on this machine.
    CChromiumStarter(const AppSettings& settings, const std::string& runtimeFolder,
                     std::string executable = "");

    bool IsAvailable() override;
    void StartWithUrl(const std::string& startUrl) override;
    void Stop() override;

    // The program that Start runs; empty when there is none.
    std::string Executable() const;
    std::string ProfileFolder() const;

private:
    std::string executable_;
};

// Linux: a desktop handler that is no browser of the family above, started by its Exec line and
// waited for.
class CHandlerCommandStarter : public CBrowserStarter {
public:
    CHandlerCommandStarter(const AppSettings& settings, const std::string& runtimeFolder,
                           std::string exec)
        : CBrowserStarter(settings, runtimeFolder), exec_(std::move(exec)) {}

    bool IsAvailable() override { return !exec_.empty(); }
    void StartWithUrl(const std::string& startUrl) override;
    void Stop() override;

private:
    std::string exec_;
};

}  // namespace Browser
