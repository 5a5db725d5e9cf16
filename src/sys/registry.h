// One open key of the Windows registry per object. Linux has no registry: there every key counts
// as missing, so callers take the same path as for an absent key on Windows.
#pragma once

#include <string>

enum class RegistryRoot { ClassesRoot, CurrentUser, LocalMachine };

// The value types the launcher tells apart (REG_SZ, REG_EXPAND_SZ).
constexpr unsigned long kRegistryText = 1;
constexpr unsigned long kRegistryExpandableText = 2;

// A value as the registry stores it: its type and its bytes (for text, with the terminating zero
// when the writer stored one).
struct RegistryValue {
    unsigned long type = 0;
    std::string bytes;
};

// The access mask every user of the registry asks for (KEY_ALL_ACCESS).
constexpr unsigned long kRegistryAllAccess = 0xF003F;

class CXRegistry {
public:
    // Opens the key at once (or, with create, opens or creates it). Leading backslashes of the
    // path and one trailing backslash are ignored; a null path opens nothing.
    CXRegistry(RegistryRoot root, const char* subKey, bool create,
               unsigned long access = kRegistryAllAccess);
    virtual ~CXRegistry();
    CXRegistry(const CXRegistry&) = delete;
    CXRegistry& operator=(const CXRegistry&) = delete;

    bool IsOpen() const { return key_ != nullptr; }

    // Reads a REG_SZ value ("" names the key's default value). A value of another type or a
    // missing one gives false; an empty REG_SZ gives true with empty text.
    bool QueryString(const char* valueName, std::string& text);

    // Writes text as REG_SZ; false when the key is closed or text is null.
    bool SetString(const char* valueName, const char* text);

    // Reads a value of any type whole; false when it is missing or the key is closed.
    bool QueryValue(const char* valueName, RegistryValue& value);
    // Writes a value with the given type and bytes, exactly; false when the key is closed.
    bool SetValue(const char* valueName, const RegistryValue& value);

    // True when the key was open and closing it succeeded.
    bool Close();

    // Result code of the last registry call (0 for success).
    long lastError() const { return lastError_; }

    // The path as it is opened: leading backslashes skipped, one trailing backslash removed.
    static std::string NormalisePath(const std::string& subKey);

private:
    void* key_ = nullptr;  // HKEY on Windows
    long lastError_ = 0;
};
