// The hosts-file entry that lets the browser reach the site under its own host name: a marked
// block appended for the run and taken out again at its end. Only the run's own block goes; lines
// that others add meanwhile (the user, another program, another launcher's block) stay.
#pragma once

#include <string>

// The system's hosts file: under the Windows system folder, /etc/hosts on Linux.
std::string SystemHostsFilePath();

// Where a copy of the hosts file as it was before the run is kept during the run.
std::string HostsBackupPath(const std::string& runtimeFolder);

// Saves the hosts file byte for byte in the runtime folder, then appends, with the platform's
// line ends, an empty line, "#---TRH_START---", the address, a tab and the host name, and
// "#---TRH_END---". The file is written through ReplaceFileContent and read back: false, with
// the file as it was, when it cannot be read, saved or written, or when the block is not there
// when the file is read again (a write that the system sent elsewhere). False also, with nothing
// written, for an address or host name that would not make a valid line (empty, or holding
// blanks, line ends or "#").
bool AddHostsEntry(const std::string& hostName, const std::string& localIp,
                   const std::string& runtimeFolder,
                   const std::string& hostsPath = SystemHostsFilePath());

enum class HostsRemoval {
    kRemoved,   // the block was taken out
    kNotThere,  // the file holds no such block (any more)
    kFailed,    // the file could not be read or written; the block stays
};

// Takes one marked block for `hostName` out of the hosts file, the last one whose address is
// `localIp` (any address when `localIp` is empty), with the empty line in front of it, and keeps
// every other line as it is. Two runs with the same host name each take out one block, so the
// name resolves for as long as either runs. Written as AddHostsEntry writes.
HostsRemoval RemoveHostsEntry(const std::string& hostName, const std::string& localIp,
                              const std::string& hostsPath = SystemHostsFilePath());
