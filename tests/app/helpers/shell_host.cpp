// Runs the shell with a program that plays the server stack, for the shell's tests.
//
// The program logs what the shell asks of it, one line per event ("<pid> <event>"), to log.txt in
// the folder of the configuration file given with -config, and takes its cues from files that the
// test makes in that folder:
//   hold-splash     the runner keeps the splash screen up until splash-release exists
//   browser-closed  the "browser" ends (way 1); without it the browser stays until Stop
//   hold-stop       the stop sequence waits after position 40 until stop-release exists
// Standard error goes to stderr.txt in the same folder.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#include "app/shell.h"
#include "config/command_line.h"
#include "config/settings.h"
#include "sys/process.h"

namespace {

std::string g_folder;

void Log(const std::string& event) {
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    std::ofstream out(g_folder + "log.txt", std::ios::app);
    out << Process::CurrentId() << ' ' << event << '\n';
}

bool CueExists(const char* name) {
    return std::filesystem::exists(g_folder + name);
}

class FakeStack : public ShellProgram {
public:
    ~FakeStack() override {
        if (runner_.joinable()) {
            runner_.join();
        }
    }

    void Start(ShellServices& shell, AppSettings& settings) override {
        shell_ = &shell;
        settings_ = &settings;
        started_ = true;
        Log("start");
        runner_ = std::thread([this] { RunnerBody(); });
    }

    void Stop() override {
        Log("stop requested");
        // The runner's wait for a cue looks at this every 20 ms.
        browserStopped_ = true;
        StopSequence(true);
        if (runner_.joinable()) {
            runner_.join();
        }
        Log("stop returned");
    }

private:
    // Waits until the cue file exists or, unless `stopEnds` is false, the browser was stopped.
    void WaitForCue(const char* name, bool stopEnds = true) {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!CueExists(name) && !(stopEnds && browserStopped_)) {
            changed_.wait_for(lock, std::chrono::milliseconds(20));
        }
    }

    void RunnerBody() {
        for (int percent : {5, 10, 60, 70, 70, 80, 95}) {
            shell_->PostStartupProgress(percent);
        }
        Log("progress sent");
        if (CueExists("hold-splash")) {
            WaitForCue("splash-release");
        }
        shell_->CloseSplash();
        Log("browser open");
        WaitForCue("browser-closed");
        Log("browser ended");
        StopSequence(false);
    }

    // Runs once per process; a second caller from the frame waits until the first has finished.
    void StopSequence(bool fromFrame) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (stopping_) {
                if (fromFrame) {
                    changed_.wait(lock, [this] { return stopDone_; });
                }
                return;
            }
            stopping_ = true;
            if (!started_) {
                stopDone_ = true;
                return;
            }
        }
        Log(std::string("stop sequence begin ") + (fromFrame ? "frame" : "runner"));
        const bool dialog = !settings_->shutdownMessage.empty();
        if (dialog) {
            shell_->ShowShutdownDialog(settings_->shutdownMessage);
        }
        for (int position = 10; position <= 100; position += 10) {
            if (position == 50 && CueExists("hold-stop")) {
                Log("stop sequence holding");
                WaitForCue("stop-release", false);
            }
            if (dialog) {
                shell_->SetShutdownProgress(position);
            }
        }
        Log("stop sequence end");
        if (!fromFrame) {
            shell_->CloseMainFrame();
            Log("frame closed by runner");
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopDone_ = true;
        }
        changed_.notify_all();
    }

    ShellServices* shell_ = nullptr;
    AppSettings* settings_ = nullptr;
    std::atomic<bool> started_{false};
    std::thread runner_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::atomic<bool> browserStopped_{false};
    bool stopping_ = false;
    bool stopDone_ = false;
};

}  // namespace

int main() {
    const CommandLineArgs args("-/");
    const std::filesystem::path config = args.GetSwitchValue("config", "");
    g_folder = config.parent_path().string() +
               static_cast<char>(std::filesystem::path::preferred_separator);
    std::freopen((g_folder + "stderr.txt").c_str(), "a", stderr);
    Log("process begin");
    int code = 0;
    {
        FakeStack stack;
        code = RunShell(stack);
    }
    Log("process end " + std::to_string(code));
    return code;
}
