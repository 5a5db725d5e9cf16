// trailhost-pack: tools for site authors. "encrypt-db" packs a database folder into the
// encrypted archive that the launcher unpacks at start; "check" reports what is wrong with a
// stack; "scramble" shows how the launcher stores an account text.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "stack/zip_writer.h"

struct PackToolIo {
    std::ostream& out;
    std::ostream& err;
    // Shows the prompt and reads one line without echoing it; none when there is no terminal.
    std::function<std::optional<std::string>(const std::string& prompt)> askHidden;
};

// Runs the tool with its arguments (without the program name). Returns the exit code: 0 when
// done, 1 when the work failed, 2 for a wrong command line.
int RunPackTool(const std::vector<std::string>& args, PackToolIo& io);

// Packs every file and folder below `dbDir` into an encrypted archive at `outPath`, under item
// names that begin with "dbdir/". Symbolic links and special files are skipped, each with a line
// on `warnings`. On failure `error` says why and no archive is left behind.
bool PackDatabaseFolder(const std::string& dbDir, const std::string& outPath,
                        const std::string& passPhrase, ZipWriter::Method method,
                        std::ostream& warnings, std::string& error);

// A line read from the terminal with the echo turned off; none when there is no terminal.
std::optional<std::string> AskHiddenOnTerminal(const std::string& prompt);
