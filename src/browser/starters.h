// The members of the browser starter family.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "browser/browser_starter.h"
#include "browser/command_lines.h"
#include "browser/state_folders.h"

namespace Browser {

struct DefaultHandler;

// Hands the run to the starter of the system's default browser, chosen when Start runs (see
// FindDefaultHandler): Firefox, the Mozilla suite or the Chromium family by the handler's name,
// Internet Explorer where it still runs, and any other handler through its own command.
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
    // The starter for a given handler, not started.
    std::unique_ptr<CBrowserStarter> DelegateFor(const DefaultHandler& handler) const;

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

// The Mozilla line (Firefox, the Mozilla suite). The browser runs on a private profile folder of
// the run's own, made before the start and given with -profile: the user's profiles and profile
// list are never touched, whatever the server's name and whether or not the browser ever ran
// here. Crash reports and telemetry are off for the run; what the browser still makes in the
// user's folders beside the profile (see StateFolder) goes at the stop. MOZ_NO_REMOTE keeps the
// browser from joining one that already runs.
class CMozillaLineStarter : public CBrowserStarter {
public:
    // `registered`: the browser's registered open command; none to look it up when needed.
    CMozillaLineStarter(const AppSettings& settings, const std::string& runtimeFolder, bool firefox,
                        std::optional<std::string> registered);

    // Windows: the browser's open command is registered; Linux: the browser is on PATH.
    bool IsAvailable() override;
    void StartWithUrl(const std::string& startUrl) override;
    // Also deletes the run's profile folder and what the browser made beside it.
    void Stop() override;

    // The run's profile folder (made by Start): in the runtime folder, or where a sandboxed
    // browser can reach it.
    std::string ProfileFolder();

protected:
    // The registered command, looked up once.
    std::string Registered();

private:
    bool firefox_;
    std::optional<std::string> registered_;
    // Start prepares on the runner's thread while Stop may clean up on the frame's.
    std::mutex lock_;
    std::string profileFolder_;  // once made
    std::vector<MadeFolder> madeFolders_;
};

// An installed Firefox.
class CFirfoxStarter : public CMozillaLineStarter {
public:
    CFirfoxStarter(const AppSettings& settings, const std::string& runtimeFolder,
                   std::optional<std::string> registered = std::nullopt)
        : CMozillaLineStarter(settings, runtimeFolder, true, std::move(registered)) {}
};

// An installed Mozilla suite.
class CMozillaStarter : public CMozillaLineStarter {
public:
    CMozillaStarter(const AppSettings& settings, const std::string& runtimeFolder,
                    std::optional<std::string> registered = std::nullopt)
        : CMozillaLineStarter(settings, runtimeFolder, false, std::move(registered)) {}
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
    // Where the browser keeps what it would otherwise keep in the user's folders (Linux: its
    // XDG configuration and cache folders).
    std::string HomeFolder() const;

private:
    std::string executable_;
};

// A default handler that is no browser of the family above, started by its own command (a
// program id's open command on Windows, a desktop entry's Exec line on Linux) and followed by the
// handover search.
class CHandlerCommandStarter : public CBrowserStarter {
public:
    CHandlerCommandStarter(const AppSettings& settings, const std::string& runtimeFolder,
                           std::string exec)
        : CBrowserStarter(settings, runtimeFolder), exec_(std::move(exec)) {}

    bool IsAvailable() override { return !exec_.empty(); }
    void StartWithUrl(const std::string& startUrl) override;
    void Stop() override;

    const std::string& Command() const { return exec_; }

private:
    std::string exec_;
};

}  // namespace Browser
