// Whole runs of the launcher as table rows, on a stack of the test's own with the fake servers and
// the fake browser: the server runner with the real browser hand-over and a shell that records
// what the run tells the application. A row says how the stack is configured, what the fakes do,
// what is in the way, what the user does, and what must hold; every run then ends with the same
// check that the machine is as it was.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/browser_handover.h"
#include "app/server_runner.h"
#include "fake_tcp_server.h"
#include "fault_support.h"
#include "stack/stack_state.h"
#include "stack_layout.h"
#include "sys/pure_socket.h"
#include "trace_capture.h"

namespace testsupport {

// The proxy exceptions the launcher changes for the browser: the current user's ProxyOverride on
// Windows (the build's own Wine prefix), no_proxy in this process's environment on Linux.
std::string ProxyExceptions();

// Something in the way of the run, made before it starts.
enum class Fault {
    kNone,
    kReadOnlyMedium,      // the stack on a CD or a write-protected stick
    kUnwritableTemp,      // no runtime folder can be made in the temporary folder
    kFullTemp,            // the runtime folder can be made, nothing can be written into it
    kLockedHosts,         // another program holds the hosts file (immutable on Linux)
    kFolderForHosts,      // a folder where the hosts file should be
    kFullHostsDisk,       // the hosts file's disk fills up in the middle of the entry
    kFolderForTemplates,  // folders where the three templates and the site file should be
    kFolderForBackup,     // a folder where the site file's ".bak" would go
    kAuthorsBackup,       // a ".bak" of the site's author beside the site file
    kFrozenSiteFolder,    // the site's folder takes no new file
    kFullSiteDisk,        // the site's disk is full: a backup of the site file breaks off
    kWebPortTaken,        // another program listens on the configured web port
    kLockedAtStop,        // the hosts and site files are held while the stop runs
    kMissingHosts,        // the hosts file's folder does not exist
};

// What the user does once the site is open.
enum class User {
    kCloseBrowser,  // closes the browser, which ends the run
    kKillBrowser,   // the browser is killed while it shows the site
    kCloseInTray,   // the stack stays up after the browser; Close in the tray ends it
    kKillLauncher,  // the launcher is killed; the next start recovers what it left
};

class WholeRun;

// One row: the configuration lines ("section.Key=value", over the base lines that start both
// servers, fill in the site file under the host name 127.0.0.2 and open the fake browser), what
// the fakes do (lines added to their configuration templates), the fault, the user's action, and
// what must hold. Text may name {ROOT} (the test's folder), {SITE}, {TPL} (the template
// folder), {TEMP}, {RUNTIME}, {WEB} and {DB} (the servers' programs).
struct Scenario {
    using Step = std::function<void(WholeRun&)>;
    explicit Scenario(std::string rowName) : name(std::move(rowName)) {}

    Scenario& Config(std::vector<std::string> lines) { return config = std::move(lines), *this; }
    Scenario& Web(std::string lines) { return web = std::move(lines), *this; }
    Scenario& Db(std::string lines) { return db = std::move(lines), *this; }
    Scenario& With(Fault f) { return fault = f, *this; }
    Scenario& Does(User u) { return user = u, *this; }
    Scenario& Readiness(unsigned long ms) { return readinessMs = ms, *this; }
    Scenario& DbStopWait(unsigned long ms) { return dbStopWaitMs = ms, *this; }
    // The message boxes, in order, each as the start of its text; "[...]" between parts that
    // must follow in the text in this order.
    Scenario& Boxes(std::vector<std::string> texts) { return boxes = std::move(texts), *this; }
    Scenario& NoPage() { return page = false, *this; }
    // The browser cannot be followed to its end: the stack stays up until Close.
    Scenario& NotFollowed() { return followed = false, user = User::kCloseInTray, *this; }
    // Nothing in the stack may be written, not even to be put back: the site file stays as it is.
    Scenario& Untouched() { return untouched = true, siteExpanded = false, *this; }
    Scenario& Host(std::string h) { return host = std::move(h), *this; }
    Scenario& SiteKept() { return siteExpanded = false, *this; }
    // Trace messages by their start, for what nothing but the trace shows; each call adds to the
    // list.
    Scenario& Traced(const std::vector<std::string>& starts) {
        return traced.insert(traced.end(), starts.begin(), starts.end()), *this;
    }
    // Prepares the stack or the machine further, before the run and before its "as before".
    Scenario& Arrange(Step f) { return arrange = std::move(f), *this; }
    // Changes the places of the run (its temporary folder, the database account).
    Scenario& At(std::function<void(WholeRun&, StackPlaces&)> f) {
        return places = std::move(f), *this;
    }
    Scenario& During(Step f) { return during = std::move(f), *this; }
    Scenario& AtStop(std::function<void(WholeRun&, int)> f) { return atStop = std::move(f), *this; }
    // Between a run and the next start, for the rows that have one.
    Scenario& Between(Step f) { return between = std::move(f), *this; }
    Scenario& After(Step f) { return after = std::move(f), *this; }

    std::string name;
    std::vector<std::string> config;
    std::string web;
    std::string db;
    Fault fault = Fault::kNone;
    User user = User::kCloseBrowser;
    unsigned long readinessMs = 90000;
    unsigned long dbStopWaitMs = 10000;
    std::vector<std::string> boxes;
    bool page = true;
    bool followed = true;
    bool untouched = false;
    std::string host = "127.0.0.2";
    bool siteExpanded = true;
    std::vector<std::string> traced;
    // Each does nothing unless the row says otherwise.
    Step arrange = [](WholeRun&) {};
    std::function<void(WholeRun&, StackPlaces&)> places = [](WholeRun&, StackPlaces&) {};
    Step during = arrange;
    std::function<void(WholeRun&, int)> atStop = [](WholeRun&, int) {};
    Step between = arrange;
    Step after = arrange;
};

// Trace lines that rows of both platforms expect.
inline const char kHostsFallback[] = "Hosts file entry for 127.0.0.2 not made, using 127.0.0.1";

// A hosts file that cannot take the entry: the site is served on the loop-back address instead.
inline Scenario HostsFallback(std::string name, Fault fault) {
    return Scenario(std::move(name)).With(fault).Host("127.0.0.1").Traced({kHostsFallback});
}

// What the trace says when none of the three configuration files could be written.
inline const std::vector<std::string> kConfigurationsNotWritten = {
    "Configuration file not written: {RUNTIME}httpd.conf from {TPL}httpd.conf",
    "Configuration file not written: {RUNTIME}my.ini from {TPL}my.ini",
    "Configuration file not written: {RUNTIME}php.ini from {TPL}php.ini"};

inline std::ostream& operator<<(std::ostream& out, const Scenario& row) {
    return out << row.name;
}

// The test's name for a row.
inline std::string RowName(const ::testing::TestParamInfo<Scenario>& row) {
    return row.param.name;
}

// The rows of each platform's table run as cases of one test: WholeRun(row).Run().
class WholeRuns : public ::testing::TestWithParam<Scenario> {};

// The real hand-over, which can also stand for a launcher killed at the moment it would open the
// browser, or for a browser that cannot be followed to its end.
class TestHandover : public BrowserHandover {
public:
    bool OpenSiteAndWait(StackState& state, const AppSettings& settings) override;

    std::atomic<int> opened{0};
    std::atomic<bool> killHere{false};
    std::atomic<bool> killed{false};
    bool followed = true;

private:
    StarterHandover real_;
};

// A row's run. The test's own files (the browser's log, the trace) lie outside the test's stack
// folder, so that the end check sees only what the run made.
class WholeRun {
public:
    explicit WholeRun(const Scenario& row);
    ~WholeRun();

    // Runs the row to its end and checks what it says and that the machine is as before.
    void Run();

    // The row's text with its places filled in.
    std::string Expand(std::string text) const;
    bool Traced(const std::string& start) const { return trace_.Count(Expand(start)) > 0; }
    std::string BrowserLog() const { return ReadFile(own_ / "browser.log"); }
    std::string Site() const { return layout.ExeFolder() + Native("htdocs/config.php"); }
    std::string Template(const std::string& name) const {
        return layout.ExeFolder() + Native("server/config_tpl/") + name;
    }
    // Whether the database server answers at its port.
    bool DatabaseAnswers() const { return IsPortInUse(settings.mySQLPort, "127.0.0.1"); }

    static constexpr char kSiteText[] = "port=%RMHUB:PORT%\nhost=%RMHUB:HOST%\n";

    WinsockGuard sockets;
    StackLayout layout;
    AppSettings settings;
    std::unique_ptr<StackState> state;
    RecordingShell shell;
    TestHandover handover;
    // Seen while the site was open (or when the stop began).
    std::string runtime;
    std::uint32_t web = 0;
    std::uint32_t database = 0;
    std::uint32_t browser = 0;
    int webPort = 0;
    std::string hostsDuring;
    std::string siteDuring;
    // Lines the user added to the hosts file meanwhile, which stay.
    std::string userHosts;

private:
    void Configure();
    void MakeFault();
    // A state for a start, in the row's places and with its time-outs.
    std::unique_ptr<StackState> NewState();
    // Starts a runner and waits until the site is open, the launcher was killed, or the run ended.
    void StartRunner(std::unique_ptr<CServerRunner>& runner);
    void SeeTheOpenSite();
    void CheckWhatTheRunMade();
    void CheckTheEnd();
    // Whether the browser has fetched the page, or tried to.
    bool Fetched() const {
        return !LogValues(BrowserLog(), "status ").empty() ||
               !LogValues(BrowserLog(), "connect failed").empty();
    }
    // Every entry below the test's folder, except those of the temporary folder.
    std::vector<std::string> Entries() const;

    const Scenario& row_;
    TempDir own_;
    TraceCapture trace_;
    std::string hostsBefore_;
    std::string stackBefore_;
    std::vector<std::string> entriesBefore_;
    std::string proxyBefore_;
    std::string tempFolder_ = layout.TempFolder();
    std::string hostsPath_ = layout.HostsPath();
    std::optional<FakeTcpServer> takenPort_;
    // A killed launcher's run: its runner waits, without a stop, until the end of the row.
    std::unique_ptr<StackState> killedState_;
    std::unique_ptr<CServerRunner> killedRunner_;
    std::vector<std::shared_ptr<void>> faults_;
};

}  // namespace testsupport
