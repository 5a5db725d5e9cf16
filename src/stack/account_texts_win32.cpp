// Windows only: the account texts from the running program's string table.
#include <windows.h>

#include "stack/account_texts.h"

std::optional<std::string> StringTableText(int id) {
    // The table holds UTF-16; the build writes every byte as the unit of the same value, so
    // reading the units back as bytes needs no code page, and the bytes do not depend on the
    // machine's language settings as LoadStringA's conversion would.
    const wchar_t* text = nullptr;
    const int length = LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(id),
                                   reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr) {
        return std::nullopt;
    }
    std::string bytes;
    for (int i = 0; i < length; ++i) {
        if (text[i] > 0xff) {
            // Edited with a resource editor: take the system code page's view of it.
            const int size =
                WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
            std::string converted(static_cast<size_t>(size > 0 ? size : 0), '\0');
            WideCharToMultiByte(CP_ACP, 0, text, length, &converted[0], size, nullptr, nullptr);
            return converted;
        }
        bytes += static_cast<char>(text[i]);
    }
    return bytes;
}
