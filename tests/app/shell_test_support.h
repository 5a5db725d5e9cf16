// Shared tools of the shell's tests: bitmap files for the splash screen, and the program and frame
// that stand in for the server stack in-process.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/main_frame.h"
#include "app/shell.h"
#include "app/splash.h"
#include "config/settings.h"
#include "desktop_probe.h"
#include "test_support.h"

namespace shelltest {

// Writes a 24-bit bitmap of `width` x `height` with a pattern that shows its edges: a dark frame,
// a diagonal gradient inside; with `solid`, one colour inside (0xA02020).
inline void WriteBitmap(const std::string& path, int width, int height, bool solid = false) {
    const int rowBytes = (width * 3 + 3) & ~3;
    const auto size = static_cast<std::uint32_t>(rowBytes * height);
    std::string file(54 + size, '\0');
    auto put32 = [&](size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            file[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
        }
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, 54 + size);
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(height));
    file[26] = 1;
    file[28] = 24;
    put32(34, size);
    // The pixels bottom-up, blue-green-red, each row padded to 4 bytes.
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t at = static_cast<size_t>(54 + y * rowBytes + x * 3);
            const bool edge = x < 6 || y < 6 || x >= width - 6 || y >= height - 6;
            file[at + 0] = static_cast<char>(edge ? 0x40 : solid ? 0x20 : 0x80 + (x * 127) / width);
            file[at + 1] = static_cast<char>(edge    ? 0x30
                                             : solid ? 0x20
                                                     : 0x60 + (y * 127) / height);
            file[at + 2] = static_cast<char>(edge ? 0x20 : solid ? 0xA0 : 0x30);
        }
    }
    testsupport::WriteFile(path, file);
}

// Where a window of `width` x `height` stands when it is centred on the work area.
inline Area CentredOnWorkArea(int width, int height) {
    const Area area = DesktopWorkArea();
    const SplashPlace place =
        CenterInWorkArea(area.left, area.top, area.right, area.bottom, width, height);
    return {place.left, place.top, place.left + width, place.top + height};
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

// A frame of the shell for "Demo Stack" in front of a RecordingProgram; the UI thread's queue is
// empty at the start and the end of each test.
class FrameTest : public ::testing::Test {
protected:
    FrameTest() {
        settings_.serverName = "Demo Stack";
        DrainUi();
    }

    // Makes the frame as start-up does.
    bool CreateFrame() {
        frame_ = std::make_unique<CMainFrame>(settings_, program_);
        if (!frame_->Create()) {
            return false;
        }
        frame_->Hide();
        return true;
    }

    void TearDown() override {
        program_.Release();
        frame_.reset();
        DrainUi();
    }

    AppSettings settings_;
    RecordingProgram program_;
    std::unique_ptr<CMainFrame> frame_;
};

}  // namespace shelltest
