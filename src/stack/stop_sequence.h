// The stop sequence: takes the stack down and puts back what the start changed on the machine.
#pragma once

#include "config/settings.h"
#include "stack/stack_state.h"

// Runs at most once per process, whichever of the runner thread and the frame's close path
// calls first; every other call returns at once, and so does every call in a process that never
// started its server runner. In order: the shutdown dialog (with a shutdown message), the wait
// for a start step that still writes, the work-offline watcher, the web server, the database
// server, the shutdown commands, the additional files back from their backups, the wait until
// the processes it ended are gone (at most places.stopPauseMs), the run's block out of the hosts
// file, the
// browser's changes put back, the decrypted database deleted, the mirror the run filled and the
// runtime folder deleted (when so configured), the medium unlocked, and, when the runner calls
// (`calledFromFrame` false), the main frame closed. The dialog moves through 0, 10, ..., 100 on
// the way. The sequence always runs to its end; what could not be put back is traced and stays
// in the run's journal, with the runtime folder, for the next start to finish. A caller that must
// not go on before the stack is down (the frame's close path, whose call returns at once while
// the runner's runs) waits with state.WaitUntilStopEnded().
void StopSequence(StackState& state, const AppSettings& settings, StackShell& shell,
                  bool calledFromFrame);
