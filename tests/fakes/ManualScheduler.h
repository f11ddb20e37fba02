#pragma once
#include <functional>
#include <map>
#include <vector>

#include "platform/Scheduler.h"
#include "tests/fakes/FakeClock.h"

namespace velmora {

// Simulated time: advance() moves the fake clock and fires every timer that falls due, in order.
class ManualScheduler final : public Scheduler {
public:
    explicit ManualScheduler(FakeClock& clock) : clock_(clock) {}

    TimerId scheduleRepeating(double intervalSeconds, std::function<void()> action) override;
    TimerId scheduleOnce(double delaySeconds, std::function<void()> action) override;
    void cancel(TimerId id) override;
    void post(std::function<void()> action) override { posted_.push_back(std::move(action)); }

    // Runs the posted actions (including ones they post), then returns.
    void runPosted();
    // Advances time to now + seconds, firing due timers (and posted actions) in time order.
    void advance(double seconds);
    std::size_t activeTimers() const { return timers_.size(); }

private:
    struct Timer {
        Date due;
        double interval;  // 0 for one-shot
        std::function<void()> action;
    };
    FakeClock& clock_;
    std::map<TimerId, Timer> timers_;
    std::vector<std::function<void()>> posted_;
    TimerId nextId_ = 1;
};

}  // namespace velmora
