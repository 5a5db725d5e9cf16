// The hosts-file entry that lets the browser reach the site under its own host name: a marked
// block appended for the run, taken out again by writing back the saved file.
#pragma once

#include <string>

// The system's hosts file: under the Windows system folder, /etc/hosts on Linux.
std::string SystemHostsFilePath();

// Where the hosts file's previous content is kept during the run.
std::string HostsBackupPath(const std::string& runtimeFolder);

// Saves the hosts file byte for byte in the runtime folder, then appends (in text mode, so with
// the platform's line ends) an empty line, "#---TRH_START---", the address, a tab and the host
// name, and "#---TRH_END---". False when the file cannot be read, saved or appended to; the
// backup then stays unused, and an append that broke off is undone from it.
bool AddHostsEntry(const std::string& hostName, const std::string& localIp,
                   const std::string& runtimeFolder,
                   const std::string& hostsPath = SystemHostsFilePath());

// Writes the saved content back over the hosts file byte for byte, so that it is exactly as it
// was before AddHostsEntry; nothing happens when there is no backup or it cannot be read.
void RestoreHostsFile(const std::string& runtimeFolder,
                      const std::string& hostsPath = SystemHostsFilePath());

// Takes the marked blocks for `hostName` out of the hosts file and keeps every other line as it
// is, also lines added since the block was; for a run that was killed and whose backup may be
// older than the file or cut short. True when a block was taken out.
bool RemoveHostsEntry(const std::string& hostName,
                      const std::string& hostsPath = SystemHostsFilePath());
