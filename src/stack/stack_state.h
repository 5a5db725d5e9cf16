// What the start and stop sequences share: the places and timeouts they work with, and the state
// of a run that the application keeps.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "stack/database_server.h"
#include "stack/ports.h"

class CThread;
class DatabaseServerControl;
class MediaDevice;
class WebServerControl;

// The machine's places that a run uses. The application takes ForThisProcess(); tests point them
// into a folder of their own, so that no run of theirs touches the real hosts file or ports, and
// may give the database account of their own.
struct StackPlaces {
    std::string exeFolder;   // the stack's folder, with a trailing separator
    std::string tempFolder;  // where the runtime folder goes, with a trailing separator
    std::string hostsPath;   // the hosts file that gets the host name's entry
    PortTable webPorts = kWebPortTable;
    PortTable databasePorts = kDatabasePortTable;
    // The account the database server runs and is shut down with: the build's own.
    StoredAccount databaseAccount = BuildAccount();

    // The executable's folder, the user's temporary folder, the system's hosts file and the
    // built-in port tables.
    static StackPlaces ForThisProcess();
};

// How long a run waits for the servers. Tests shorten them.
struct StackTimeouts {
    // How long the start sequence waits for the web server's first answer.
    unsigned long readinessTimeoutMs = 90000;
    // How long the database server has to end after its shutdown request.
    unsigned long databaseStopWaitMs = 10000;
    // How long at most the stop sequence waits for what it ended to be gone and to let go of its
    // files.
    unsigned long stopPauseMs = 4000;
    // How long the runner waits after a start before it opens the browser.
    unsigned long pauseBeforeBrowserMs = 1500;

    // The defaults above, with 45 s for the readiness wait on the Windows 95 family.
    static StackTimeouts ForThisProcess();
};

// A site file expanded in place, and the backup that holds its original.
struct ExpandedFile {
    std::string file;
    std::string backup;
};

// The state of one run, owned by the application's main frame for the whole process. The runner
// thread fills it while the start sequence runs; the stop sequence reads it on the runner thread or
// on the main thread, whichever comes first.
//
// A close request can reach the stop sequence while the start sequence is still under way. So
// that nothing the start makes after that moment is forgotten, the start stores each thing it
// made through Publish, and the stop sequence's BeginStop closes the state to further stores
// under the same lock: a thing is either stored in time for the stop sequence to undo it, or the
// start sequence learns that it was too late and undoes it itself.
//
// The start's steps that write files (the runtime folder, the hosts entry, the database staging,
// the site's files) run through RunStartStep: the stop sequence waits for a step under way to end
// before it undoes or deletes anything, so that nothing is written into a folder after the stop
// has removed it. A long step asks IsStopping() between files and ends early.
class StackState {
public:
    explicit StackState(StackPlaces places, StackTimeouts timeouts = {});
    ~StackState();
    StackState(const StackState&) = delete;
    StackState& operator=(const StackState&) = delete;

    const StackPlaces places;
    const StackTimeouts timeouts;

    std::unique_ptr<WebServerControl> webServer;
    std::unique_ptr<DatabaseServerControl> databaseServer;
    std::string runtimeFolder;           // with a trailing separator
    std::string appFolder;               // with a trailing separator
    std::unique_ptr<MediaDevice> media;  // the locked drive the stack runs from; null when none
    // The Internet Explorer starter's work-offline watcher; the stop sequence ends it.
    std::unique_ptr<CThread> workOfflineSearch;
    // The hosts-file block the start added: its host name and address; empty when none.
    std::string hostsEntryName;
    std::string hostsEntryAddress;
    // The site files the start expanded in place, with their backups.
    std::vector<ExpandedFile> expandedFiles;

    // Runs `store` under the state's lock unless the stop sequence has begun; false then, and
    // `store` has not run.
    bool Publish(const std::function<void()>& store);

    // Runs one step of the start that writes files, unless the stop sequence has begun (false
    // then, and `step` has not run). The step may store into the fields above directly: the stop
    // sequence reads them only after WaitForStartSteps.
    bool RunStartStep(const std::function<void()>& step);
    // The stop sequence, after BeginStop: blocks until no start step runs any more.
    void WaitForStartSteps();

    // The browser hand-over keeps the starter's stop operation here before it opens the browser;
    // false, with nothing kept, when the browser has been asked to stop or the stop sequence has
    // begun already: the browser must then not be opened at all.
    bool SetBrowserStop(std::function<bool()> stop);
    // The frame's close path and the stop sequence: calls the kept stop operation once (at the
    // first call after it is kept), and from then on refuses a new one. The operation answers
    // whether it put back everything; every call answers what the one that ran answered (true
    // when none ran).
    bool StopBrowser();

    // The stop sequence's test-and-set of its flag, as one step: true for the first caller only.
    bool BeginStop();
    bool IsStopping();
    // Blocks until the stop sequence has begun, at most `ms`; true when it has.
    bool WaitUntilStopping(unsigned long ms);
    // Marks the end of the stop sequence that BeginStop let run.
    void EndStop();
    // Blocks until a stop sequence that has begun has ended; at once when none has begun.
    void WaitUntilStopEnded();

    // Recorded when the server runner starts; a process that never started one (a second copy
    // that only asks the first to close) has nothing to stop.
    void MarkRunnerStarted() { runnerStarted_ = true; }
    bool RunnerStarted() const { return runnerStarted_; }

private:
    // Guards every field above while the start sequence runs, and the members below.
    std::mutex lock_;
    std::condition_variable stopEnded_;
    bool stopping_ = false;
    bool stopRunning_ = false;
    int startSteps_ = 0;
    std::condition_variable startStepEnded_;
    bool browserStopRequested_ = false;
    bool browserUndoFailed_ = false;
    std::function<bool()> stopBrowser_;
    std::atomic<bool> runnerStarted_{false};
};
