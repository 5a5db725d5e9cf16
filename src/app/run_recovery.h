// Clean-up after runs of this stack that were killed: what they changed on the machine is put
// back and their servers are ended before a new run changes anything.
#pragma once

struct StackPlaces;

// Finds the runs of the stack in places.exeFolder whose launcher died without its stop (their
// journals in runtime folders under places.tempFolder), undoes what each journal lists, and
// removes their runtime folders.
void RecoverAbandonedRuns(const StackPlaces& places);
