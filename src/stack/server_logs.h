// What the user is told about a server that ended by itself during the start: the program, how
// it ended, and the end of the error log it wrote into the run's folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

// The file a produced configuration names for a key: "ErrorLog path" (the web server's form,
// the path maybe quoted) or "log-error=path" (the database server's form); the last one wins, as
// in the servers. Empty when the file or the key is missing.
std::string ConfiguredLogFile(const std::string& configFile, const std::string& key);

// The last `count` lines of a text file (fewer when it has fewer); empty when it cannot be read.
std::vector<std::string> LastLines(const std::string& file, std::size_t count);

// The message: "The <what> (<program>) ended with exit status N while the site was starting."
// and, when `logFile` lies in `runtimeFolder` and holds something, its last lines.
std::string EndedServerMessage(const std::string& what, const std::string& program,
                               std::optional<int> exitStatus, const std::string& logFile,
                               const std::string& runtimeFolder);
