// The account texts built into the launcher, and the scrambling that keeps them out of plain
// sight in the executable.
#pragma once

#include <optional>
#include <string>

constexpr int kAccountUserTextId = 32000;      // database user name
constexpr int kAccountPasswordTextId = 32001;  // database password; archive pass phrase
constexpr int kAccountSpareTextId = 32002;     // not used

// The key both scrambling directions use for the account texts.
extern const char kBuiltInScrambleKey[];

// Byte i of the result is byte i of `text` minus (byte i modulo the key's length of `key` minus
// 48), kept to eight bits. An empty key leaves the text unchanged.
std::string Unscramble(const std::string& text, const std::string& key);

// The inverse of Unscramble: what the build and the packing tool store.
std::string Scramble(const std::string& text, const std::string& key);

// The stored (scrambled) account text of an id above, or "NONE" when the build was given none.
// On Windows it comes from the string table of the running program when that has the entry, so
// that the texts in trailhost.exe's resources are the ones in force; programs without it (the
// packing tool, most tests) and Linux use the copy compiled into the code. Both copies come from
// the same build options. Empty for an unknown id.
std::string AccountText(int id);

// The copy compiled into the code.
std::string CompiledAccountText(int id);

// The entry of the running program's string table; none on Linux or when there is no such entry.
std::optional<std::string> StringTableText(int id);

// True for a stored text that stands for "no value": NONE in any letter case.
bool IsNoAccountValue(const std::string& stored);

// The pass phrase of the encrypted database archive: account text 32001, unscrambled (also when
// it is NONE, so that the launcher and the packing tool built with it always agree).
std::string ArchivePassPhrase();
