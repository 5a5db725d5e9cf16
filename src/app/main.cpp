// Process entry of the launcher: the shell runs the start-up and the message loop, the stack
// program does the work.
#include "app/shell.h"
#include "app/stack_program.h"

int main() {
    StackProgram program;
    return RunShell(program);
}
