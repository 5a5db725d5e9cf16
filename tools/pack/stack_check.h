// The stack check for site authors ("trailhost-pack check"): reads a stack's hub_config.ini the
// way the launcher reads it and reports, one finding each, what would keep the stack from
// starting or from running as its author meant: misspelt or misplaced keys, values the launcher
// does not understand, missing programs and files, templates that do not hand the servers this
// run's ports and folders, an archive that does not open, a mirror folder that must not be
// deleted.
#pragma once

#include <ostream>
#include <string>
#include <vector>

struct CheckFinding {
    enum class Severity { kWarning, kError };
    Severity severity = Severity::kError;
    // The file the finding is about: relative to the stack folder when it lies inside it.
    std::string file;
    int line = 0;  // counted from 1; 0 when the finding is about no one line
    std::string message;
};

// Checks the stack in `stackFolder`. The encrypted database archive, when there is one, must
// open with `passPhrase`.
std::vector<CheckFinding> CheckStack(const std::string& stackFolder, const std::string& passPhrase);

// 0 when nothing was found, 1 when warnings only, 2 when at least one error.
int CheckExitCode(const std::vector<CheckFinding>& findings);

// One line a finding ("file:line: error: message"), then a line with the counts.
void WriteCheckText(std::ostream& out, const std::string& stackFolder,
                    const std::vector<CheckFinding>& findings);

// The findings as one JSON object: the stack, the counts, and a list of findings with severity,
// file, line (null when there is none) and message.
void WriteCheckJson(std::ostream& out, const std::string& stackFolder,
                    const std::vector<CheckFinding>& findings);
