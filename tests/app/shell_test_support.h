// Shared tools of the shell's tests: bitmap files for the splash screen and the screenshots, where
// screenshots go, and the program and frame that stand in for the server stack in-process.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
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

// A 24-bit bitmap file of `width` x `height` around `rows`: the pixels bottom-up, blue-green-red,
// each row padded to 4 bytes.
inline std::string BitmapFile(int width, int height, const std::string& rows) {
    const auto size = static_cast<std::uint32_t>(rows.size());
    const auto w = static_cast<std::uint32_t>(width);
    const auto h = static_cast<std::uint32_t>(height);
    // The 32-bit little-endian words after "BM": the file's size, the pixels' offset, then the
    // info header with one plane of 24 bits per pixel, uncompressed.
    const std::uint32_t words[] = {54 + size, 0, 54, 40, w, h, 1 | 24 << 16, 0, size, 0, 0, 0, 0};
    std::string file = "BM";
    for (const std::uint32_t word : words) {
        for (int i = 0; i < 4; ++i) {
            file += static_cast<char>((word >> (8 * i)) & 0xFF);
        }
    }
    return file + rows;
}

// Writes a bitmap of `width` x `height` with a pattern that shows its edges: a dark frame, a
// diagonal gradient inside; with `solid`, one colour inside (0xA02020).
inline void WriteBitmap(const std::string& path, int width, int height, bool solid = false) {
    const int rowBytes = (width * 3 + 3) & ~3;
    std::string rows(static_cast<size_t>(rowBytes * height), '\0');
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t at = static_cast<size_t>(y * rowBytes + x * 3);
            const bool edge = x < 6 || y < 6 || x >= width - 6 || y >= height - 6;
            rows[at + 0] = static_cast<char>(edge ? 0x40 : solid ? 0x20 : 0x80 + (x * 127) / width);
            rows[at + 1] = static_cast<char>(edge    ? 0x30
                                             : solid ? 0x20
                                                     : 0x60 + (y * 127) / height);
            rows[at + 2] = static_cast<char>(edge ? 0x20 : solid ? 0xA0 : 0x30);
        }
    }
    testsupport::WriteFile(path, BitmapFile(width, height, rows));
}

// The folder for screenshots: TRH_TEST_ARTIFACTS, else test-artifacts beside bin/.
inline std::string ArtifactFolder() {
    const char* folder = std::getenv("TRH_TEST_ARTIFACTS");
    std::string path = folder != nullptr && *folder != '\0'
                           ? std::string(folder)
                           : testsupport::TestBinFolder() + "../test-artifacts";
    return path + "/";
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
        if (frame != nullptr && !dialogMessage.empty()) {
            frame->ShowShutdownDialog(dialogMessage);
            frame->SetShutdownProgress(30);
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
    CMainFrame* frame = nullptr;
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
