// The machine's processes: walking the list, terminating one by executable name, looking one up
// by id.
//
// Windows knows two ways to list processes, psapi (NT family) and Toolhelp (95 family, and later
// NT versions); their functions are looked up at run time, so that the program loads where one
// of them is missing. Linux reads /proc. A process that has ended but not yet been reaped by its
// parent (a zombie) counts as ended there and is never listed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Room for an executable name or path, terminator included.
constexpr std::size_t kProcessTextSize = 260;

// Called for each process with its id, its executable name without folder (null when the
// process cannot be read) and the caller's value. Nonzero goes on, 0 stops the walk.
using ProcessCallback = int (*)(std::uint32_t id, const char* name, void* user);

// Calls `callback` for every running process. Windows: psapi on the NT family (id 0 is reported
// as "Idle", the System process as "System"), Toolhelp on the 95 family. True when the list was
// walked, also when the callback stopped it. False, with the thread's last error (GetLastError on
// Windows, errno on Linux), when it could not be: 127 a function is missing, 8 out of memory,
// 120 neither platform, or the listing's own error.
bool EnumerateProcesses(ProcessCallback callback, void* user);

// KillProcessByName results.
constexpr std::uint32_t kKillDone = 0;                  // found and terminated
constexpr std::uint32_t kKillTerminateFailed = 602;     // TerminateProcess / SIGKILL refused
constexpr std::uint32_t kKillNotFound = 603;            // no process with that name
constexpr std::uint32_t kKillOpenFailed = 604;          // the process could not be opened
constexpr std::uint32_t kKillNoPsapi = 605;             // "PSAPI.DLL" did not load
constexpr std::uint32_t kKillNoVersion = 606;           // GetVersionEx failed
constexpr std::uint32_t kKillUnknownPlatform = 607;     // neither NT nor 95 family
constexpr std::uint32_t kKillBadName = 632;             // empty, or 261 characters or longer
constexpr std::uint32_t kKillPsapiIncomplete = 700;     // a psapi function is missing
constexpr std::uint32_t kKillEnumFailed = 701;          // EnumProcesses failed
constexpr std::uint32_t kKillNoKernel = 702;            // "Kernel32.DLL" did not load
constexpr std::uint32_t kKillToolhelpIncomplete = 703;  // a Toolhelp function is missing
constexpr std::uint32_t kKillSnapshotFailed = 704;      // a Toolhelp snapshot failed

// Terminates the first process whose executable name equals `name` in any letter case; a second
// process of that name stays. Linux answers only 0, 602, 603, 604 and 632.
std::uint32_t KillProcessByName(const std::string& name);

class CProcessInfoBase;

// Walks the process list to tell the executable name and path of a process id.
class CProcessInfo {
public:
    CProcessInfo();
    ~CProcessInfo();
    CProcessInfo(const CProcessInfo&) = delete;
    CProcessInfo& operator=(const CProcessInfo&) = delete;

    // Chooses the way to list processes: Toolhelp on the 95 family, psapi on NT 4; elsewhere
    // psapi when `preferPsapi`, else Toolhelp. Linux has one way. False when the way's functions
    // are not all there.
    bool Init(bool preferPsapi);

    // Takes a fresh list; false when none could be taken.
    bool Refresh();
    // Reads the next process of the list into the buffers (kProcessTextSize each) and `id`; true
    // when it could be read. `more` turns false at the end of the list, and when the list cannot
    // be read any further.
    bool NextProcess(char* name, char* path, std::uint32_t* id, bool* more);

    // Finds the process `id` in a fresh list: true with its name and path in the buffers
    // (kProcessTextSize each, either may be null); otherwise false with both buffers empty.
    bool FindProcessById(char* name, char* path, std::uint32_t id);

private:
    std::unique_ptr<CProcessInfoBase> way_;
};
