// Message boxes for the lower layers: a plain system box by default, and a hook through which the
// application shows its own dialogs instead.
#pragma once

#include <functional>
#include <string>

// Style bits of a box; the values are those of the Windows MB_ flags, so that they pass through.
enum MessageBoxStyle : unsigned {
    kMessageBoxOk = 0x00,
    kMessageBoxIconStop = 0x10,
    kMessageBoxIconQuestion = 0x20,
    kMessageBoxIconExclamation = 0x30,
    kMessageBoxIconInformation = 0x40,
};

// Receives text, caption and style; returns the button chosen (1 for OK, as on Windows).
using MessageBoxHandler =
    std::function<int(const std::string& text, const std::string& caption, unsigned style)>;

// Shows a box and blocks until it is closed. Without an installed handler: MessageBoxA without
// owner window (Windows), a line "caption: text" on stderr (Linux).
int ShowMessageBox(const std::string& text, const std::string& caption, unsigned style);

// Routes every later box to the handler (an empty one restores the default); returns the one it
// replaces. Safe to call while other threads show boxes.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
