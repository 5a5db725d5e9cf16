// Processes by identity: the table of the machine's processes, and a process held from the moment
// it was started or found, so that an id the system hands out again never stands for it.
//
// An id alone names whatever process has it now. A process is therefore held by what the system
// ties to that one process: a handle (Windows) or a process descriptor (Linux), taken while the
// id was known to be it; where no such thing can be kept (a journal on the disk), by its id
// together with its start time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One process of the table.
struct ProcessEntry {
    std::uint32_t id = 0;
    std::uint32_t parent = 0;  // the id its parent had; that parent may have ended since
    // Linux: the process group, which a child keeps when the parent that made it ends; 0 on
    // Windows.
    std::uint32_t group = 0;
    // When the process started, in the system's own unit (Linux: clock ticks since boot;
    // Windows: 100 ns since 1601). 0 when it cannot be read.
    std::uint64_t startTime = 0;
    // The executable's full path; empty when it cannot be read (another user's process, a
    // kernel thread). Linux: links resolved, as the system shows it.
    std::string path;
    // The executable's file name; on Windows also when the path cannot be read.
    std::string name;
};

// Every process that runs now (Linux leaves out processes that have ended and wait for their
// parent to collect them). Empty when the table cannot be read.
std::vector<ProcessEntry> ListProcesses();

// The ids of `rootId`'s descendants in `table`, children before grandchildren. A child is a
// process that names its parent's id and started no earlier than that parent: a process whose
// parent ended long ago may name an id that the system has handed to a newer process since, and
// is no descendant of that newer one. `rootStart` is the root's own start time (0: unknown, then
// the table's entry for `rootId` is taken as the root).
std::vector<std::uint32_t> DescendantsOf(const std::vector<ProcessEntry>& table,
                                         std::uint32_t rootId, std::uint64_t rootStart);

// A process held by identity. Copies share the one hold; the last copy lets go. A Process that
// holds nothing (made by default, or by an Open that found no such process) is not running and
// ends nothing.
class Process {
public:
    Process();
    ~Process();
    Process(const Process&);
    Process& operator=(const Process&);
    Process(Process&&) noexcept;
    Process& operator=(Process&&) noexcept;

    // Takes hold of the process that has `id` now, provided it started at `startTime` (0: at any
    // time). Nothing is held when there is no such process.
    static Process Open(std::uint32_t id, std::uint64_t startTime = 0);

    // Whether a process is held (it may have ended since).
    bool IsValid() const;
    std::uint32_t id() const;
    std::uint64_t startTime() const;

    // Whether the held process still runs. False for a process that ended, also while its parent
    // has not collected it yet.
    bool IsRunning() const;
    // Waits until the process has ended, at most `ms` milliseconds; true when it has ended (at
    // once for nothing held).
    bool WaitForExit(unsigned long ms) const;
    // How the process ended, once it has: its exit code, or (Linux) 128 + the signal that ended
    // it. Known for the launcher's own children (Linux) and for every held process (Windows).
    std::optional<int> ExitStatus() const;

    // Asks the process to end in order (Linux: SIGTERM); false where no such request exists for a
    // hidden program (Windows), or when the process has ended.
    bool AskToEnd() const;
    // Ends the process and every descendant of it (see DescendantsOf). The descendants are
    // looked for also when the process itself has ended already; each is ended only while it is
    // still the process that the table showed. Returns the processes it ended, for a caller that
    // waits until they are gone (Windows frees a process's files only then).
    std::vector<Process> TerminateTree() const;

    // The executable path of the held process while it runs; empty otherwise.
    std::string ProgramPath() const;

    // The launcher's own process, and its id.
    static Process Current();
    static std::uint32_t CurrentId();

    // What the platform keeps of the process; process_detail.h gives the launcher its way in.
    struct Hold;
    explicit Process(std::shared_ptr<Hold> hold);
    const std::shared_ptr<Hold>& hold() const { return hold_; }

private:
    std::shared_ptr<Hold> hold_;
};
