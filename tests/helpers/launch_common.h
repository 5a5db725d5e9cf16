// Small pieces shared by the launch_* helper programs.
#pragma once

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <unistd.h>
extern char** environ;
#endif

namespace launchhelper {

// Helpers left running by a failed test end by themselves after this.
constexpr std::chrono::seconds kLifetime{120};

inline unsigned long OwnId() {
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
}

// Writes the whole file under a temporary name first, so that a reader never sees half of it.
inline void WriteWhole(const std::string& path, const std::string& bytes) {
    const std::string temporary = path + ".part";
    if (std::FILE* f = std::fopen(temporary.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        std::error_code ec;
        std::filesystem::rename(temporary, path, ec);
    }
}

// The path of a program that sits beside this one ("launch_window" -> ".../launch_window[.exe]").
inline std::string Sibling(const char* argv0, const std::string& name) {
    std::filesystem::path self(argv0);
#ifdef _WIN32
    return (self.parent_path() / (name + ".exe")).string();
#else
    return (self.parent_path() / name).string();
#endif
}

// Starts another program with plain arguments (no quotes inside them) and does not wait for it.
inline bool Start(const std::string& program, const std::vector<std::string>& args) {
#ifdef _WIN32
    std::string line = "\"" + program + "\"";
    for (const std::string& arg : args) {
        line += " \"" + arg + "\"";
    }
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION created{};
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &created)) {
        return false;
    }
    CloseHandle(created.hThread);
    CloseHandle(created.hProcess);
    return true;
#else
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    return posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) == 0;
#endif
}

inline void SleepUntilKilled() {
    std::this_thread::sleep_for(kLifetime);
}

}  // namespace launchhelper
