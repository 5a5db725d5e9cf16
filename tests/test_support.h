// Small tools shared by the tests of every folder: waits, private temporary folders, file
// contents, helper programs and their logs, process variables.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "sys/folders.h"

namespace testsupport {

// Waits until `done` holds; false when it did not within `limit` (a minute by default), which
// only keeps a broken run from hanging the tests.
template <typename Condition>
bool Eventually(Condition done,
                std::chrono::steady_clock::duration limit = std::chrono::minutes(1)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// A fresh folder under the system's temporary folder, removed with everything in it at the end
// of the scope. path() ends with a separator.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + name.
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

// Whole-file read and write, byte for byte (empty text for a missing file).
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

// Every entry below `root` by its path relative to it ('/' separators): a file with its bytes, a
// folder with "<folder>".
std::map<std::string, std::string> FileTree(const std::string& root);

// The path of a helper program from tests/helpers, which is built beside the test executables
// ("fake_web" becomes ".../bin/fake_web" or "...\bin\fake_web.exe").
std::string HelperPath(const std::string& name);

// The folder of the running test executable, with a trailing separator.
std::string TestBinFolder();

#ifdef _WIN32
inline const std::string kExe = ".exe";
inline const std::string kEol = "\r\n";
#else
inline const std::string kExe;
inline const std::string kEol = "\n";
#endif

// A path written with '/' in this platform's form.
inline std::string Native(std::string path) {
    for (char& c : path) {
        c = c == '/' ? kPathSeparator : c;
    }
    return path;
}

// A file's text with Windows line ends read as bare line feeds.
std::string TextOf(const std::string& path);

// The lines of a helper's log that begin with `start`, without it.
std::vector<std::string> LogValues(const std::string& log, const std::string& start);

// The value of a variable that a helper logged ("env NAME=value"); "<unset>" when it did not.
std::string LoggedVariable(const std::string& log, const std::string& name);

// Whether a process with this id runs now.
bool ProcessRuns(std::uint32_t id);

// Sets a variable of this process's environment; an empty value removes it.
void SetProcessVariable(const char* name, const std::string& value);

}  // namespace testsupport

// The one environment setter of the tests.
#include <cstdlib>
#include <optional>
#include <utility>
#ifdef _WIN32
#include <windows.h>
#endif

namespace testsupport {

inline std::optional<std::string> GetEnv(const std::string& name) {
#ifdef _WIN32
    const DWORD needed = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
    if (needed == 0) {
        return std::nullopt;
    }
    std::string value(needed, '\0');
    value.resize(GetEnvironmentVariableA(name.c_str(), &value[0], needed));
    return value;
#else
    const char* value = std::getenv(name.c_str());
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
#endif
}

// Sets (or, for nullopt, removes) a variable of this process and of the children it starts.
inline void SetEnv(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
    // The C runtime's copy too, for code that reads it with getenv.
    SetEnvironmentVariableA(name.c_str(), value ? value->c_str() : nullptr);
    _putenv((name + "=" + (value ? *value : "")).c_str());
#else
    if (value) {
        setenv(name.c_str(), value->c_str(), 1);
    } else {
        unsetenv(name.c_str());
    }
#endif
}

// Sets a variable for the scope, then puts back what was there.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::optional<std::string>& value)
        : name_(std::move(name)), old_(GetEnv(name_)) {
        SetEnv(name_, value);
    }
    ~ScopedEnv() { SetEnv(name_, old_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

}  // namespace testsupport
