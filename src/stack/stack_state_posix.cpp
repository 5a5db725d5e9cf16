// Linux only: the process id.
#include "stack/stack_state.h"

#include <unistd.h>

unsigned long OwnProcessId() {
    return static_cast<unsigned long>(getpid());
}
