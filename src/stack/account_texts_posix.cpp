// Linux only: there is no string table; the compiled-in texts are the only copy.
#include "stack/account_texts.h"

std::optional<std::string> StringTableText(int) {
    return std::nullopt;
}
