// The shell's message box: from any thread, shown by the UI thread while the caller waits (a plain
// system box on Windows, a Qt dialog on Linux), or a line "caption: text" on standard error when
// the program runs without a display. The box stays above every other window, the splash screen
// included, which is itself above all others while the stack starts.
#pragma once

#include <string>

// Style bits are the Windows MB_ flags (0 = OK button only, 0x10 = stop icon).
constexpr unsigned kBoxOk = 0x00;
constexpr unsigned kBoxIconStop = 0x10;

// Returns the button chosen (1 for OK).
int ShowShellMessageBox(const std::string& text, const std::string& caption, unsigned style);
