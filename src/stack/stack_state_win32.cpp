// Windows only: the process id.
#include "stack/stack_state.h"

#include <windows.h>

unsigned long OwnProcessId() {
    return GetCurrentProcessId();
}
