// The frame's close path: the program's Stop on a thread of its own, so that the UI thread keeps
// turning (and the shutdown dialog keeps painting) while the servers go down.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

class ShellProgram;

class CloseRunner {
public:
    // `finished` runs on the close thread once Stop has returned; the frame uses it to post
    // itself the end of the close.
    CloseRunner(ShellProgram& program, std::function<void()> finished);
    // Waits for a close thread that is still stopping: the process must not end under it.
    ~CloseRunner();
    CloseRunner(const CloseRunner&) = delete;
    CloseRunner& operator=(const CloseRunner&) = delete;

    // Starts Stop on the close thread; false (and nothing done) when a stop was already begun.
    bool Begin();

    // Runs Stop on the calling thread unless one was already begun; `finished` is not called.
    void RunHere();

    // Whether the program's Stop has returned.
    bool Finished() const { return finished_stop_; }

    // Waits until a close thread has ended.
    void Wait();

private:
    ShellProgram& program_;
    std::function<void()> finished_;
    std::mutex mutex_;
    bool begun_ = false;
    std::atomic<bool> finished_stop_{false};
    std::thread thread_;  // started and joined on the UI thread
};
