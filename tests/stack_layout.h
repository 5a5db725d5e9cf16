// A portable stack in a private folder, with the fake helper programs under the names that the
// launcher expects, configuration templates, a data folder, a hosts file of its own and a
// temporary folder of its own; and a shell that records what the sequences tell the application.
#pragma once

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config/settings.h"
#include "stack/runtime.h"
#include "stack/shell_services.h"
#include "stack/stack_state.h"
#include "sys/folders.h"
#include "test_support.h"

namespace testsupport {

// The block a run appends to the hosts file for its host, with the given line ends.
inline std::string HostsBlock(const std::string& host, const std::string& address = "192.168.1.5",
                              const std::string& eol = testsupport::kEol) {
    return eol + "#---TRH_START---" + eol + address + "\t" + host + eol + "#---TRH_END---" + eol;
}

// A run whose folders all lie in `app` (which ends with a separator).
inline RunValues SampleRun(const std::string& app) {
    RunValues run;
    run.exeFolder = app;
    run.appFolder = app;
    run.runtimeFolder = app + "rt" + kSep;
    run.dbFolder = app + "dbdir" + kSep;
    run.docRootName = "htdocs";
    run.hostName = "myhost";
    run.webPort = 8080;
    run.mySqlPort = 3307;
    return run;
}

class StackLayout {
public:
    StackLayout() {
        for (const std::string& folder :
             {ExeFolder(), TempFolder(), ExeFolder() + Native("server/config_tpl"),
              ExeFolder() + Native("server/mysql/data/mysql"), ExeFolder() + "dbdir",
              ExeFolder() + "htdocs", root_ / "etc"}) {
            std::filesystem::create_directories(folder);
        }
        WriteFile(HostsPath(), "127.0.0.1\tlocalhost\n# hosts of the test\n");
        WriteFile(ExeFolder() + Native("server/mysql/data/mysql/user.frm"), "system tables");
        WriteFile(ExeFolder() + Native("dbdir/site.frm"), "site data");
        WriteTemplate("httpd.conf",
                      "Listen %RMHUB:PORT%\nServerName %RMHUB:HOST%\nDocumentRoot "
                      "\"%RMHUB:DOCROOT%\"\nServerRoot \"%RMHUB:SRVDIR%\"\n");
        WriteTemplate("my.ini",
                      "[mysqld]\nport=%RMHUB:MYSQLPRT%\nbind-address=%RMHUB:MYSQLIP%\n"
                      "datadir=%RMHUB:DBDIR%\n");
        WriteTemplate("php.ini", "session.save_path=\"%RMHUB:RTDIR%session\"\n");
    }

    // Paths in this platform's form from paths written with '/'.

    std::string Root() const { return root_.path(); }
    std::string ExeFolder() const { return root_ / Native("stack/"); }
    std::string TempFolder() const { return root_ / Native("tmp/"); }
    std::string HostsPath() const { return root_ / Native("etc/hosts"); }

    // Copies a helper program into the stack under the given name (relative, '/' separators).
    void Install(const std::string& helper, const std::string& relativePath) const {
        namespace fs = std::filesystem;
        const fs::path target = ExeFolder() + Native(relativePath);
        fs::create_directories(target.parent_path());
        fs::copy_file(HelperPath(helper), target, fs::copy_options::overwrite_existing);
        fs::permissions(target, fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
    }

    // The web server, database server and admin tool at the built-in places.
    void InstallServers() const {
        Install("fake_web", "server/Apache/Apache" + kExe);
        Install("fake_db", "server/mysql/bin/mysqld" + kExe);
        Install("fake_dbadmin", "server/mysql/bin/mysqladmin" + kExe);
    }

    // Adds lines for the fake web server to the httpd.conf template.
    void AddToHttpdConf(const std::string& lines) const {
        const std::string path = ExeFolder() + Native("server/config_tpl/httpd.conf");
        WriteFile(path, ReadFile(path) + lines);
    }
    void AddToMyIni(const std::string& lines) const {
        const std::string path = ExeFolder() + Native("server/config_tpl/my.ini");
        WriteFile(path, ReadFile(path) + lines);
    }

    StackPlaces Places(PortTable webPorts, PortTable databasePorts) const {
        StackPlaces places;
        places.exeFolder = ExeFolder();
        places.tempFolder = TempFolder();
        places.hostsPath = HostsPath();
        places.webPorts = std::move(webPorts);
        places.databasePorts = std::move(databasePorts);
        return places;
    }

    // The settings a hub_config.ini without entries gives, with the site's own ports.
    static AppSettings Settings(int port, int mySQLPort) {
        AppSettings s;
        s.port = port;
        s.hostName = "localhost";
        s.serverName = "Trailhost";
        s.portMandatoryErrorMessage = "Port is already in use. Trailhost can't be started";
        s.defaultFile = "index.php";
        s.defaultRoot = "htdocs";
        s.hideTempFolder = true;
        s.browserType = BrowserType::DEFAULT;
        s.mySQLPort = mySQLPort;
        s.splashFile = "splash.bmp";
        s.showStartupProgress = true;
        s.pathToApache = Native("server/Apache/Apache") + kExe;
        s.pathToMySqlBin = Native("server/mysql/bin");
        s.pathToMySqlData = Native("server/mysql/data");
        s.pathToMySqlShare = Native("server/mysql/share");
        s.pathToPhpIni = Native("server/config_tpl/php.ini");
        s.pathToHttpdConf = Native("server/config_tpl/httpd.conf");
        s.pathToMyIni = Native("server/config_tpl/my.ini");
        s.additionalFiles.assign(10, "");
        s.startupCommands.assign(3, "");
        s.shutdownCommands.assign(3, "");
        return s;
    }

    // A command that leaves the file `marker` behind when it has run.
    static std::string MarkerCommand(const std::string& marker) {
        return HelperPath("idle_process") + " " + marker + " 1";
    }

private:
    void WriteTemplate(const std::string& name, const std::string& text) const {
        WriteFile(ExeFolder() + Native("server/config_tpl/") + name, text);
    }

    TempDir root_;
};

// Records what the sequences and the runner tell the application, in order, one text per call.
template <typename Shell>
class RecordingShellOf : public Shell {
public:
    void PostStartupProgress(int percent) override { Add("progress " + std::to_string(percent)); }
    void CloseSplash() override { Add("close splash"); }
    void ShowRunningUntilClose() override { Add("running until close"); }
    void ShowMessageBox(const std::string& text, const std::string& caption) override {
        Add("box " + caption + ": " + text);
    }
    void ShowShutdownDialog(const std::string& message) override { Add("dialog " + message); }
    void SetShutdownProgress(int position) override {
        Add("position " + std::to_string(position));
        if (onPosition) {
            onPosition(position);
        }
    }
    void CloseMainFrame() override {
        Add("close frame");
        if (onCloseFrame) {
            onCloseFrame();
        }
    }

    std::vector<std::string> Calls() {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.clear();
    }

    // The calls that begin with `start`.
    std::vector<std::string> Calls(const std::string& start) {
        std::vector<std::string> picked;
        for (const std::string& call : Calls()) {
            if (call.compare(0, start.size(), start) == 0) {
                picked.push_back(call);
            }
        }
        return picked;
    }

    // Run inside the sequence, so that a test can look at the stack at that moment.
    std::function<void(int)> onPosition;
    std::function<void()> onCloseFrame;

protected:
    void Add(const std::string& call) {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(call);
    }

private:
    std::mutex mutex_;
    std::vector<std::string> calls_;
};

using RecordingShell = RecordingShellOf<ShellServices>;

// The timeouts of a run whose stop does not pause.
inline StackTimeouts NoStopPause() {
    StackTimeouts timeouts;
    timeouts.stopPauseMs = 0;
    return timeouts;
}

}  // namespace testsupport
