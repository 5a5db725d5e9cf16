// Windows only: error texts from the system message table.
#include "sys/error_text.h"

#include <windows.h>

std::string SystemErrorText(unsigned long code) {
    char* buffer = nullptr;
    // Inserts stay as they are: a text such as "%1 is not a valid Win32 application." would
    // otherwise fail to format and leave nothing.
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&buffer),
        0, nullptr);
    std::string text;
    if (length != 0 && buffer != nullptr) {
        text.assign(buffer, length);
    }
    if (buffer != nullptr) {
        LocalFree(buffer);
    }
    return text;
}
