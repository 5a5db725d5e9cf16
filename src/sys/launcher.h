// Starting child processes: the one way the launcher runs another program, finds the window or
// process that the program ends up as, waits for it, and ends whole process trees.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "sys/process.h"

enum class LaunchWait {
    None = 0,       // return once the process exists
    UntilExit = 1,  // block until the watched process has ended
    UntilIdle = 2,  // block until the new process waits for input (Linux: return at once)
};

enum class WindowSearch {
    Direct = 0,    // the created process is the program
    Handover = 1,  // the created process may hand over to another one, found after a pause
};

// How a program is started; the Launch arguments of the same names.
struct LaunchOptions {
    LaunchWait wait = LaunchWait::None;
    // Whether the program's first window shows (Windows; Linux places no windows).
    bool show = false;
    WindowSearch search = WindowSearch::Direct;
    // "" for the default size, "MAXIMIZE" (any case), or "WIDTHxHEIGHT".
    std::string size;
    // Handover only: the executable file name of a process to adopt besides the launched
    // program's own descendants, compared without regard to case; "" means the launched
    // executable's own name (Windows) or none (Linux, where programs are often started through
    // wrapper scripts whose name no process carries).
    std::string processName;
    // Whether the program ends with the launcher's process (see TieToLauncher).
    bool tied = false;
    // Variables the program gets besides (or instead of) the launcher's own, as name and value;
    // the launcher's environment itself stays as it is.
    std::vector<std::pair<std::string, std::string>> environment;
};

// The options that the seven-argument Launch takes one by one.
LaunchOptions OptionsOf(LaunchWait wait, bool show, WindowSearch search, const std::string& size,
                        const std::string& processName);

// The environment a program gets: `inherited` ("NAME=value" entries), with the entries of
// `overrides` in place of those of the same name (compared without regard to case on Windows),
// then the overrides that were not there yet, in their order.
std::vector<std::string> MergeEnvironment(
    const std::vector<std::string>& inherited,
    const std::vector<std::pair<std::string, std::string>>& overrides);

class ProcessLauncher {
public:
    ProcessLauncher() = default;
    ProcessLauncher(const ProcessLauncher&) = delete;
    ProcessLauncher& operator=(const ProcessLauncher&) = delete;

    // Starts "program arguments" with the caller's environment and current folder, never through
    // a shell. Returns false, after showing the system's error text in a box titled "Error",
    // when the process cannot be created; nothing is then waited for.
    bool Launch(const std::string& program, const std::string& arguments, LaunchWait wait,
                bool show, WindowSearch search, const std::string& size = "",
                const std::string& processName = "");
    // The same with the options in one place (TieToLauncher does not apply: options.tied does).
    bool Launch(const std::string& commandLine, const LaunchOptions& options);

    // The same with the options in one place; returns 0, or the system's error code (errno on
    // Linux, GetLastError on Windows) when the process could not be created. Shows nothing.
    //
    // A Handover search adopts the program the user ends up with: a process that did not run
    // before the launch and is the launched program, one of its descendants (Linux: a member of
    // the process group the launch made, which survives wrapper scripts that end), or a program
    // of the wanted name that this user runs. It looks every 500 ms, adopts the first such process
    // at once, and, when the adopted process ends within 26 s of the launch, adopts its successor,
    // or looks again until then (unless what ended was plainly the browser: see kBrowserLikeMs). An
    // UntilExit wait watches the adopted process; when nothing could be followed the launch returns
    // once the 26 s are over, and Followed() tells so.
    int LaunchProcess(const std::string& commandLine, const LaunchOptions& options);

    // The process the last launch started (Direct) or adopted (Handover); nothing until then.
    Process process() const;
    // Its id; 0 until there is one.
    std::uint32_t processId() const { return process().id(); }
    // Whether the last launch had a process to follow to its end: false when a Handover search
    // found nothing, or what it found ended while the search still ran and nothing new came.
    bool Followed() const { return followed_; }

    // Ends a search or wait of a launch under way on another thread at once; that launch adopts
    // nothing from then on. Later launches of this launcher start nothing.
    void Cancel();

    // Ties the programs that later Launch calls start to the launcher's own process: when the
    // launcher ends in whatever way (a crash, the task manager, kill -9), they end with it.
    // Windows puts them in a job object that is closed when the launcher's process goes; Linux
    // starts them from a thread that lives as long as the process, with the parent-death signal
    // SIGTERM, so that a server can still shut down in order. Only the servers are tied: a
    // program the user asked to run stays.
    void TieToLauncher(bool tied) { tied_ = tied; }

    // Ends the started or adopted process with all its descendants while it still runs (and the
    // program the launch created, while it still runs); once they have ended, nothing (programs
    // they started may belong to the user now).
    void TerminateTree() const;
    // Ends the process that has this id now and all its descendants; an id that no longer
    // exists is ignored.
    static void TerminateTree(std::uint32_t id);
    // Asks the process that has this id now to end in order (Linux: SIGTERM); false when there is
    // no such request for a hidden program (Windows) or it could not be sent.
    static bool AskToEnd(std::uint32_t id);

    // A Handover search looks this long after the launch, every kHandoverPollMs.
    static constexpr int kHandoverLimitMs = 26000;
    static constexpr int kHandoverPollMs = 500;
    // An adopted process that ran this long, or started helpers of its own, was the browser the
    // user sees: when it ends with no successor, the user closed it, and the search is over.
    // Anything shorter-lived that ends is taken for a program that handed the page on.
    static constexpr int kBrowserLikeMs = 8000;

private:
    // The platform's start of one process: 0 and the created process, or the error code.
    int Create(const std::string& commandLine, const LaunchOptions& options, Process& created);
    // The Handover search with its wait; the created process is the launched program, `before`
    // the processes that ran before it.
    void FollowHandover(const Process& created, const std::vector<ProcessEntry>& before,
                        const LaunchOptions& options, const std::string& wanted);
    // Blocks until `process` has ended, Cancel is called, the calling worker thread is asked to
    // stop, or `ms` have passed; true when the process ended.
    bool WaitForExit(const Process& process, unsigned long ms = 0xFFFFFFFF) const;
    // Sleeps `ms`; false when Cancel came or the calling worker thread is asked to stop.
    bool PauseUnlessCancelled(unsigned long ms) const;
    // Stores the followed process unless Cancel came first.
    bool Adopt(const Process& process);
    bool Cancelled() const;

    mutable std::mutex lock_;
    mutable std::condition_variable cancelled_;
    Process process_;   // guarded by lock_
    Process launched_;  // the program the last launch created; guarded by lock_
    bool cancel_ = false;
    std::atomic<bool> followed_{true};
    bool tied_ = false;
};

// What a Handover search may adopt: processes that did not run before the launch and either
// descend from the launched program or run an executable of the wanted name that this user can
// read (not another user's).
class HandoverFamily {
public:
    // `launched`: the program the launch created; `before`: the table taken before it; `wanted`:
    // an executable file name (any case), or "" for descendants only.
    HandoverFamily(const Process& launched, const std::vector<ProcessEntry>& before,
                   std::string wanted);

    // The process to adopt in a fresh table: of the candidates whose parent is no candidate, the
    // one of the wanted name first, then the earliest started. Descendants are remembered across
    // calls, so that a child is still known as one after its parent has ended.
    std::optional<ProcessEntry> Choose(const std::vector<ProcessEntry>& table);
    // Choose, held by identity; nothing when there is none or it ended meanwhile.
    Process Pick(const std::vector<ProcessEntry>& table);

private:
    using Member = std::pair<std::uint32_t, std::uint64_t>;  // id and start time
    std::string wanted_;
    std::uint32_t launchedId_;
    std::set<Member> before_;
    std::set<Member> members_;
};

// How the first window of a new program starts, from the show flag and the size text.
struct StartupShape {
    int showState = 0;     // SW_HIDE 0, SW_SHOW 5 or SW_MAXIMIZE 3
    bool useSize = false;  // the width and height below are passed to the program
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};
constexpr int kShowHide = 0;
constexpr int kShowMaximize = 3;
constexpr int kShowNormal = 5;

StartupShape StartupShapeFor(bool show, const std::string& size);

// Splits a Windows command line into its arguments the way the C runtime does: spaces and tabs
// separate; double quotes group and may sit inside an argument; "" inside quotes is a literal
// quote; 2n backslashes before a quote give n backslashes and the quote groups, 2n+1 give n
// backslashes and a literal quote; other backslashes are literal. The program name (the first
// argument) only honours quotes, so "C:\dir\" keeps its backslash.
std::vector<std::string> SplitWindowsCommandLine(const std::string& commandLine);

// One command line that SplitWindowsCommandLine takes apart into exactly these arguments: an
// argument with a blank, a tab or a quote, and an empty one, is quoted, with the backslashes
// before a quote doubled. The program name (the first) cannot hold a quote.
std::string JoinWindowsCommandLine(const std::vector<std::string>& arguments);

// The command line up to and including its first ".EXE" (any case); empty when it has none.
std::string ExecutablePathOf(const std::string& commandLine);

#ifndef _WIN32
// Where a program named on a command line runs from: the name itself when it holds a folder,
// else the first executable file of that name in the folders of PATH (empty elements, which
// would mean the current folder, are skipped; without PATH, /usr/local/bin:/usr/bin:/bin);
// empty when there is none. The launcher starts what this finds; lookups ask the same.
std::string FindProgram(const std::string& program);
#endif

// The file name of a path: what follows its last separator, without a leading quote.
std::string FileNameOf(const std::string& path);
