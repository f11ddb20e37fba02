#pragma once
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "tests/fakes/ManualScheduler.h"

namespace velmora {

// ManualScheduler's timers, with a post that other threads may call: the test thread plays the
// main thread and runs what was posted.
class ThreadSafeScheduler final : public Scheduler {
public:
    explicit ThreadSafeScheduler(FakeClock& clock) : timers_(clock) {}

    TimerId scheduleRepeating(double intervalSeconds, std::function<void()> action) override {
        return timers_.scheduleRepeating(intervalSeconds, std::move(action));
    }
    TimerId scheduleOnce(double delaySeconds, std::function<void()> action) override {
        return timers_.scheduleOnce(delaySeconds, std::move(action));
    }
    void cancel(TimerId id) override { timers_.cancel(id); }
    void post(std::function<void()> action) override;

    // Runs posted actions until `done` holds or `limit` passes; true when it holds.
    bool runPostedUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);
    // Runs what has been posted so far.
    void runPosted();

private:
    ManualScheduler timers_;
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> queue_;
};

}  // namespace velmora
