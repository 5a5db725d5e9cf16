#include "stack/account_texts.h"

#include "account_texts_data.h"

const char kBuiltInScrambleKey[] = "TheRiverRunsDeepAndSlowly";

namespace {

std::string Shift(const std::string& text, const std::string& key, int direction) {
    std::string result = text;
    if (key.empty()) {
        return result;
    }
    for (size_t i = 0; i < result.size(); ++i) {
        const int offset = static_cast<unsigned char>(key[i % key.size()]) - 48;
        const int value = static_cast<unsigned char>(result[i]) + direction * offset;
        result[i] = static_cast<char>(value & 0xff);
    }
    return result;
}

}  // namespace

std::string Unscramble(const std::string& text, const std::string& key) {
    return Shift(text, key, -1);
}

std::string Scramble(const std::string& text, const std::string& key) {
    return Shift(text, key, +1);
}

std::string CompiledAccountText(int id) {
    switch (id) {
        case kAccountUserTextId:
            return TRAILHOST_ACCOUNT_TEXT_32000;
        case kAccountPasswordTextId:
            return TRAILHOST_ACCOUNT_TEXT_32001;
        case kAccountSpareTextId:
            return TRAILHOST_ACCOUNT_TEXT_32002;
        default:
            return "";
    }
}

std::string AccountText(int id) {
    if (std::optional<std::string> fromTable = StringTableText(id)) {
        return *fromTable;
    }
    return CompiledAccountText(id);
}

bool IsNoAccountValue(const std::string& stored) {
    if (stored.size() != 4) {
        return false;
    }
    const char* none = "NONE";
    for (size_t i = 0; i < 4; ++i) {
        const char c = stored[i];
        const char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        if (upper != none[i]) {
            return false;
        }
    }
    return true;
}

std::string ArchivePassPhrase() {
    return Unscramble(AccountText(kAccountPasswordTextId), kBuiltInScrambleKey);
}
