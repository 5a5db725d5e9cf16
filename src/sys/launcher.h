// Starting child processes: the one way the launcher runs another program, finds the window or
// process that the program ends up as, waits for it, and ends whole process trees.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

enum class LaunchWait {
    None = 0,       // return once the process exists
    UntilExit = 1,  // block until the watched process has ended
    UntilIdle = 2,  // block until the new process waits for input (Linux: return at once)
};

enum class WindowSearch {
    Direct = 0,    // the created process is the program
    Handover = 1,  // the created process may hand over to another one, found after a pause
};

class ProcessLauncher {
public:
    ProcessLauncher() = default;
    ProcessLauncher(const ProcessLauncher&) = delete;
    ProcessLauncher& operator=(const ProcessLauncher&) = delete;

    // Starts "program arguments" with the caller's environment and current folder, never through
    // a shell. size: "" for the default size, "MAXIMIZE" (any case), or "WIDTHxHEIGHT".
    // processName (Handover only): executable file name of the process to adopt, compared
    // without regard to case; "" means the launched executable's own name. Returns false, after
    // showing the system's error text in a box titled "Error", when the process cannot be
    // created; processId then keeps its value and nothing is waited for.
    //
    // A Handover search pauses 26 s, then adopts the first new window (Windows) or new process
    // (Linux) owned by an executable of that name; when there is none, processId keeps its
    // former value. An UntilExit wait watches processId; while processId is 0 (a fresh launcher
    // whose handover found nothing) there is nothing to watch and the wait ends at once.
    bool Launch(const std::string& program, const std::string& arguments, LaunchWait wait,
                bool show, WindowSearch search, const std::string& size = "",
                const std::string& processName = "");

    // Id of the process the last Launch started (Direct) or adopted (Handover); 0 until then.
    std::uint32_t processId() const { return processId_; }

    // Ties the programs that later Launch calls start to the launcher's own process: when the
    // launcher ends in whatever way (a crash, the task manager, kill -9), they end with it.
    // Windows puts them in a job object that is closed when the launcher's process goes; Linux
    // starts them from a thread that lives as long as the process, with the parent-death signal
    // SIGTERM, so that a server can still shut down in order. Only the servers are tied: a
    // program the user asked to run stays.
    void TieToLauncher(bool tied) { tied_ = tied; }

    // Ends processId with all its descendants.
    void TerminateTree() const { TerminateTree(processId_); }
    // Ends the given process and all its descendants; an id that no longer exists is ignored.
    static void TerminateTree(std::uint32_t id);
    // Asks a process to end in order (Linux: SIGTERM); false when there is no such request for
    // a hidden program (Windows) or it could not be sent.
    static bool AskToEnd(std::uint32_t id);

private:
    // A Handover search looks for the adopted program after these two pauses.
    static constexpr int kHandoverPauseMs = 25000;
    static constexpr int kHandoverSettleMs = 1000;

    // The pause before the handover search; false when the calling worker thread is asked to
    // stop meanwhile (the search is then skipped).
    static bool PauseForHandover();

    // Blocks until no process with processId is listed any more; returns at once for 0.
    void WaitForExit();

    // Written by Launch, read by TerminateTree from whichever thread ends the run.
    std::atomic<std::uint32_t> processId_{0};
    bool tied_ = false;
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

// The file name of a path: what follows its last separator, without a leading quote.
std::string FileNameOf(const std::string& path);

// The name a Handover search looks for when none is given, for a Windows command line:
// FileNameOf(ExecutablePathOf(...)); the launcher takes the long form of the path in between.
// Linux programs carry no ".EXE": there it is the file name of the program that runs, with
// links followed.
std::string DefaultProcessName(const std::string& commandLine);
