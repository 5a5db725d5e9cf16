// The browser starters: one class per kind of browser, each of which finds its browser, prepares
// the machine for the run (a private profile, the host as a proxy exception), opens the start URL,
// blocks until the browser has ended, and undoes its preparations when the run ends.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sys/launcher.h"

struct AppSettings;
enum class BrowserType : int;
struct JournalEntry;
class WebServerControl;

namespace Browser {

// A setting as it was before a starter changed it.
struct SavedSetting {
    std::string name;
    std::string value;  // its text; empty for a value that holds none
    bool present = false;
    // Windows: the registry value's type and bytes as stored, so that it goes back unchanged.
    unsigned long type = 0;
    std::string bytes;
};

class CBrowserStarter {
public:
    // `runtimeFolder` is the run's own folder (with or without a trailing separator); a starter
    // that needs a private browser profile keeps it there, so it goes when the folder goes.
    CBrowserStarter(const AppSettings& settings, std::string runtimeFolder);
    virtual ~CBrowserStarter();
    CBrowserStarter(const CBrowserStarter&) = delete;
    CBrowserStarter& operator=(const CBrowserStarter&) = delete;

    // Whether this kind of browser can be started on this machine.
    virtual bool IsAvailable() = 0;

    // Prepares, opens the web server's start URL and blocks until the browser has ended; returns
    // at once when the browser cannot be started (the launcher has shown why).
    void Start(const WebServerControl& webServer);
    // The same for a start URL at hand.
    virtual void StartWithUrl(const std::string& startUrl) = 0;

    // Ends the browser's process tree while it is still the browser (once the browser has ended,
    // nothing: what it started may be the user's now) and undoes the preparations of Start. May
    // run on another thread while Start waits or searches for the browser, which then returns at
    // once; a Start that has not launched yet launches nothing more. Running it twice, or without
    // Start, changes nothing that Start did not.
    virtual void Stop() = 0;

    // After Start: whether the browser could be followed to its end. False when the page went to
    // a browser that ran before, or to a program that handed it on and ended, so that the end of
    // what was started says nothing about the user still reading the page.
    virtual bool Followed() const { return launcher_.Followed(); }

    // Adds the host name to the proxy exceptions: the ProxyOverride value of the Internet
    // settings (Windows: old value, one blank, host name), or no_proxy and NO_PROXY of this
    // process's environment, which the browser inherits (Linux: comma-separated).
    void AddHostToProxyOverride();
    // Puts back what AddHostToProxyOverride changed, once; nothing when it changed nothing.
    void RestoreProxyOverride();

    // False once something that Stop was to put back could not be (a setting or file that
    // could not be written): the run's journal must then stay for the next start.
    bool UndidEverything() const { return !undoFailed_; }

    // The folder that stands for the user's application-data folder (Windows: CSIDL_APPDATA;
    // Linux: $HOME); empty for the system's. The Mozilla line keeps its profiles below it.
    virtual void SetUserFolder(const std::string& folder) { userFolder_ = folder; }

    // Id of the browser process that Start waits for; 0 until one is known.
    std::uint32_t processId() const { return launcher_.processId(); }

protected:
    const AppSettings& settings() const { return settings_; }
    // The runtime folder with a trailing separator.
    const std::string& runtimeFolder() const { return runtimeFolder_; }
    // The application-data folder in use, without a trailing separator.
    std::string UserFolder() const;

    // Launches through the starter's own launcher unless Stop has come first.
    bool Launch(const std::string& command, LaunchWait wait, bool show, WindowSearch search,
                const std::string& size, const std::string& processName = "");
    bool Launch(const std::string& command, const LaunchOptions& options);
    bool StopRequested() const { return stopRequested_; }
    // For Stop: no later launch, and the started tree ended.
    void EndBrowser();
    // For Stop: something could not be put back.
    void NoteUndoFailed() { undoFailed_ = true; }

private:
    const AppSettings& settings_;
    std::string runtimeFolder_;
    std::string userFolder_;
    ProcessLauncher launcher_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> undoFailed_{false};
    // Start changes the proxy exceptions on the runner's thread while Stop may put them back on
    // the frame's.
    std::mutex proxyLock_;
    bool proxyChanged_ = false;
    std::vector<SavedSetting> savedProxy_;
};

// A new starter for a BrowserType value; null for NONE; the system-default starter for DEFAULT,
// 0 and every value without a starter of its own.
std::unique_ptr<CBrowserStarter> CreateBrowserStarter(BrowserType browserType,
                                                      const AppSettings& settings,
                                                      const std::string& runtimeFolder);

// The browser hand-over's choice: the starter for the type, replaced by the system-default
// starter when its browser is not available here. Null for NONE.
std::unique_ptr<CBrowserStarter> ChooseBrowserStarter(BrowserType browserType,
                                                      const AppSettings& settings,
                                                      const std::string& runtimeFolder);

// For a run that was killed, from its journal: takes its host out of the proxy exceptions,
// deletes the private profile it made (by its exact path) and the folders the browser made beside
// it. Returns the entries that could not be undone.
std::vector<JournalEntry> UndoBrowserChanges(const std::vector<JournalEntry>& entries);

}  // namespace Browser
