// Linux only: handing work to the UI thread and waiting for it, whichever loop runs there.
#include "app/ui_thread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

std::atomic<bool> g_stopped{false};

struct Completion {
    std::mutex mutex;
    std::condition_variable changed;
    bool ran = false;
    bool gone = false;
};

// Travels with the queued work; when the work has run or the loop has dropped it, the last copy
// goes and tells the waiter.
struct Notifier {
    explicit Notifier(std::shared_ptr<Completion> completion_)
        : completion(std::move(completion_)) {}
    ~Notifier() {
        {
            std::lock_guard<std::mutex> lock(completion->mutex);
            completion->gone = true;
        }
        completion->changed.notify_all();
    }
    Notifier(const Notifier&) = delete;
    Notifier& operator=(const Notifier&) = delete;

    std::shared_ptr<Completion> completion;
};

}  // namespace

bool RunOnUiThread(std::function<void()> work, bool wait, int timeoutMs) {
    if (g_stopped) {
        return false;
    }
    if (OnUiThread()) {
        work();
        return true;
    }
    auto completion = std::make_shared<Completion>();
    auto notifier = std::make_shared<Notifier>(completion);
    QueueOnUiThread([work = std::move(work), notifier] {
        work();
        std::lock_guard<std::mutex> lock(notifier->completion->mutex);
        notifier->completion->ran = true;
    });
    notifier.reset();
    if (!wait) {
        return true;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock<std::mutex> lock(completion->mutex);
    // The UI thread may stop before it gets to the work; the waiter looks at that now and then.
    while (!completion->changed.wait_for(lock, std::chrono::milliseconds(100),
                                         [&] { return completion->ran || completion->gone; })) {
        if (g_stopped || (timeoutMs >= 0 && std::chrono::steady_clock::now() >= deadline)) {
            return false;
        }
    }
    return completion->ran;
}

void StopUiThreadWork() {
    g_stopped = true;
}
