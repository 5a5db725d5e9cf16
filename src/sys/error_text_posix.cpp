// Linux only: error texts of errno values.
#include "sys/error_text.h"

#include <string.h>

std::string SystemErrorText(unsigned long code) {
    char buffer[256] = {};
    // The GNU strerror_r, which may answer with a static text instead of filling the buffer.
    const char* text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
    return text != nullptr ? std::string(text) : std::string();
}
