// Linux only: the UI thread's loop without a toolkit, for the launcher without a display: queued
// work and watched descriptors, served by poll(2) on the process's main thread.
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <deque>
#include <list>
#include <mutex>
#include <vector>

#include "app/ui_thread.h"

namespace {

struct Watched {
    Watched(int fd_, std::function<void()> onReadable_)
        : fd(fd_), onReadable(std::move(onReadable_)) {}
    int fd;
    std::function<void()> onReadable;
    std::atomic<bool> live{true};
};

// The loop's state; the wake pipe tells poll that work came or the end was asked for.
class PollLoop {
public:
    // Made on first use and never taken down: watches that go at the process's end (an
    // endpoint of static storage) still find it.
    static PollLoop& Get() {
        static PollLoop* const loop = new PollLoop;
        return *loop;
    }

    void Queue(std::function<void()> work) {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(work));
        Wake();
    }

    void Quit() {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
        Wake();
    }

    std::shared_ptr<Watched> Add(int fd, std::function<void()> onReadable) {
        auto watched = std::make_shared<Watched>(fd, std::move(onReadable));
        std::lock_guard<std::mutex> lock(mutex_);
        watches_.push_back(watched);
        return watched;
    }

    void Remove(const std::shared_ptr<Watched>& watched) {
        std::lock_guard<std::mutex> lock(mutex_);
        watched->live = false;
        watches_.remove(watched);
    }

    int Run() {
        for (;;) {
            std::deque<std::function<void()>> work;
            std::vector<std::shared_ptr<Watched>> watching;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                work.swap(queue_);
            }
            while (!work.empty()) {
                work.front()();
                work.pop_front();
            }
            std::vector<pollfd> fds{{wake_[0], POLLIN, 0}};
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (quit_) {
                    // What was queued after the end was asked for goes unrun; its waiters see it.
                    quit_ = false;
                    work.swap(queue_);
                    return 0;
                }
                if (!queue_.empty()) {
                    continue;
                }
                watching.assign(watches_.begin(), watches_.end());
            }
            for (const auto& watched : watching) {
                fds.push_back({watched->fd, POLLIN, 0});
            }
            // Without a wake pipe the loop looks at its queue now and then instead.
            if (poll(fds.data(), fds.size(), wake_[0] < 0 ? 50 : -1) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return 1;
            }
            if (fds[0].revents != 0) {
                char bytes[64];
                while (read(wake_[0], bytes, sizeof bytes) > 0) {
                }
            }
            // A callback may end any watch, its own included; ended ones are passed over.
            for (std::size_t i = 0; i < watching.size(); ++i) {
                if (fds[i + 1].revents != 0 && watching[i]->live) {
                    watching[i]->onReadable();
                }
            }
        }
    }

private:
    PollLoop() {
        if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
            wake_[0] = wake_[1] = -1;
        }
    }

    void Wake() {
        const char byte = 1;
        (void)!write(wake_[1], &byte, 1);
    }

    std::mutex mutex_;
    std::deque<std::function<void()>> queue_;
    std::list<std::shared_ptr<Watched>> watches_;
    bool quit_ = false;
    int wake_[2];
};

class PollReadWatch : public ReadWatch {
public:
    explicit PollReadWatch(std::shared_ptr<Watched> watched) : watched_(std::move(watched)) {}
    ~PollReadWatch() override { PollLoop::Get().Remove(watched_); }
    PollReadWatch(const PollReadWatch&) = delete;
    PollReadWatch& operator=(const PollReadWatch&) = delete;

private:
    std::shared_ptr<Watched> watched_;
};

}  // namespace

bool GuiAvailable() {
    return false;
}

void SetHeadless(bool) {}

bool OnUiThread() {
    return syscall(SYS_gettid) == getpid();
}

void QueueOnUiThread(std::function<void()> work) {
    PollLoop::Get().Queue(std::move(work));
}

std::unique_ptr<ReadWatch> WatchReadable(int fd, std::function<void()> onReadable) {
    return std::make_unique<PollReadWatch>(PollLoop::Get().Add(fd, std::move(onReadable)));
}

int RunUiLoop() {
    return PollLoop::Get().Run();
}

void QuitUiLoop() {
    PollLoop::Get().Quit();
}
