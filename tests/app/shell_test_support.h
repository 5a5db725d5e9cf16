// Shared tools of the shell's tests: bitmap files for the splash screen, waiting for conditions,
// where screenshots go, and the program that stands in for the server stack in-process.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#include "app/shell.h"
#include "test_support.h"

namespace shelltest {

// A 24-bit bitmap file of `width` x `height` with a pattern that shows its edges: a dark frame,
// a diagonal gradient inside; with `solid`, one colour inside.
inline void WriteBitmap(const std::string& path, int width, int height, bool solid = false) {
    const int rowBytes = (width * 3 + 3) & ~3;
    const std::uint32_t dataSize = static_cast<std::uint32_t>(rowBytes * height);
    std::string file(54 + dataSize, '\0');
    auto put32 = [&](size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            file[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
        }
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, 54 + dataSize);
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(height));
    file[26] = 1;
    file[28] = 24;
    put32(34, dataSize);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t at = 54 + static_cast<size_t>(y * rowBytes + x * 3);
            const bool edge = x < 6 || y < 6 || x >= width - 6 || y >= height - 6;
            const int blue = solid ? 0x20 : 0x80 + (x * 127) / width;
            const int green = solid ? 0x20 : 0x60 + (y * 127) / height;
            const int red = solid ? 0xA0 : 0x30;
            file[at + 0] = static_cast<char>(edge ? 0x40 : blue);
            file[at + 1] = static_cast<char>(edge ? 0x30 : green);
            file[at + 2] = static_cast<char>(edge ? 0x20 : red);
        }
    }
    testsupport::WriteFile(path, file);
}

// Polls `done` until it holds; false after `timeoutMs`, which only bounds a test that fails.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 30000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// The folder for screenshots: TRH_TEST_ARTIFACTS, else test-artifacts beside bin/.
inline std::string ArtifactFolder() {
    const char* folder = std::getenv("TRH_TEST_ARTIFACTS");
    std::string path = folder != nullptr && *folder != '\0'
                           ? std::string(folder)
                           : testsupport::TestBinFolder() + "../test-artifacts";
    return path + "/";
}

// Stands in for the server stack: counts Stop calls and, when told to, holds Stop until the test
// lets it go, and drives the shutdown dialog the way the stop sequence does.
class RecordingProgram : public ShellProgram {
public:
    void Start(ShellServices&, AppSettings&) override { starts++; }

    void Stop() override {
        stopThread = CurrentThread();
        stops++;
        if (services != nullptr && !dialogMessage.empty()) {
            services->ShowShutdownDialog(dialogMessage);
            services->SetShutdownProgress(30);
        }
        std::unique_lock<std::mutex> lock(mutex_);
        stopping = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return !hold || released_; });
        stopped = true;
    }

    void Release() {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

    static std::uintptr_t CurrentThread() {
        return std::hash<std::thread::id>()(std::this_thread::get_id());
    }

    std::atomic<int> starts{0};
    std::atomic<int> stops{0};
    std::atomic<std::uintptr_t> stopThread{0};
    std::atomic<bool> stopping{false};
    std::atomic<bool> stopped{false};
    bool hold = false;
    ShellServices* services = nullptr;
    std::string dialogMessage;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool released_ = false;
};

}  // namespace shelltest
