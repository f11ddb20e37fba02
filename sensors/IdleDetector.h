#pragma once
#include <optional>

#include "engine/activity/ActivityEventBus.h"
#include "platform/Clock.h"
#include "platform/IdleTimeSource.h"
#include "sensors/SensorTimer.h"

namespace velmora {

// Every 5 seconds, measures how long the user has not touched keyboard or mouse; publishes
// `userIdle` when that reaches 120 seconds and `userResumed` when input comes back.
class IdleDetector {
public:
    static constexpr double checkInterval = 5.0;
    static constexpr double idleThreshold = 120.0;

    IdleDetector(ActivityEventBus& bus, IdleTimeSource& source, Scheduler& scheduler, const Clock& clock);

    // Replaces any running timer; the first check comes one interval later, not at once.
    void start();
    void stop();
    void check();

    bool isIdle() const { return isIdle_; }
    bool isRunning() const { return timer_.isActive(); }

private:
    void publish(ActivityEventKind kind, std::optional<std::string> detail);

    ActivityEventBus& bus_;
    IdleTimeSource& source_;
    const Clock& clock_;
    SensorTimer timer_;
    bool isIdle_ = false;
};

}  // namespace velmora
