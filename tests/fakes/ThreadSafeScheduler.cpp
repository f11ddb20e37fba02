#include "tests/fakes/ThreadSafeScheduler.h"

namespace velmora {

void ThreadSafeScheduler::post(std::function<void()> action) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(action));
    }
    posted_.notify_all();
}

void ThreadSafeScheduler::runPosted() {
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard lock(mutex_);
        batch.swap(queue_);
    }
    for (auto& action : batch) action();
}

bool ThreadSafeScheduler::runPostedUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        runPosted();
        if (done()) return true;
        std::unique_lock lock(mutex_);
        if (!posted_.wait_until(lock, end, [&] { return !queue_.empty(); })) return false;
    }
}

}  // namespace velmora
