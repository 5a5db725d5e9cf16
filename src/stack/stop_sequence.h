// The stop sequence: the stack taken down and the machine put back, and the frame closed after it.
#pragma once

#include "config/settings.h"
#include "stack/shell_services.h"
#include "stack/stack_state.h"

// Takes the stack down and puts back what the start changed on the machine, at most once per
// process: the first caller (the runner after the browser, or the frame's close path) runs it, and
// every later call returns false at once, as does a call in a process that never started its
// server runner. In order: the shutdown dialog (with a shutdown message), the wait for a start
// step that still writes, the work-offline watcher, the web server, the database server, the
// shutdown commands, the additional files back from their backups, the wait until the processes
// it ended are gone (at most timeouts.stopPauseMs), the run's block out of the hosts file, the
// browser's changes put back, the decrypted database deleted, the mirror the run filled and the
// runtime folder deleted (when so configured), the medium unlocked. The dialog moves through 0,
// 10, ..., 100 on the way; nothing else of the shell is called. It always runs to its end; what
// could not be put back is traced and stays in the run's journal, with the runtime folder, for the
// next start to finish. True when this call took the stack down; it has ended then, and
// state.WaitUntilStopEnded() returns at once. A caller that must not go on before the stack is down
// while another thread may be taking it down waits with state.WaitUntilStopEnded().
bool TakeStackDown(StackState& state, const AppSettings& settings, ShellServices& shell);

// The entry point of both ends of a run: TakeStackDown, then, when the runner is the caller
// (`calledFromFrame` false) and its call took the stack down, the main frame closed. The frame's
// close path then finds the stop ended.
void StopSequence(StackState& state, const AppSettings& settings, ShellServices& shell,
                  bool calledFromFrame);
