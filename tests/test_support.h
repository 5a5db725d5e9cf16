// Small tools shared by the tests: private temporary folders, file contents, helper programs.
#pragma once

#include <chrono>
#include <string>
#include <thread>

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

// The path of a helper program from tests/helpers, which is built beside the test executables
// ("fake_web" becomes ".../bin/fake_web" or "...\bin\fake_web.exe").
std::string HelperPath(const std::string& name);

// The folder of the running test executable, with a trailing separator.
std::string TestBinFolder();

}  // namespace testsupport
