#pragma once
#include <functional>
#include <optional>
#include <utility>

#include "platform/Scheduler.h"

namespace velmora {

// A sensor's one repeating timer: starting it again replaces it, and it ends with its owner.
class SensorTimer {
public:
    explicit SensorTimer(Scheduler& scheduler) : scheduler_(scheduler) {}
    ~SensorTimer() { stop(); }
    SensorTimer(const SensorTimer&) = delete;
    SensorTimer& operator=(const SensorTimer&) = delete;

    void start(double intervalSeconds, std::function<void()> action) {
        stop();
        id_ = scheduler_.scheduleRepeating(intervalSeconds, std::move(action));
    }
    void stop() {
        if (id_) scheduler_.cancel(*id_);
        id_.reset();
    }
    bool isActive() const { return id_.has_value(); }

private:
    Scheduler& scheduler_;
    std::optional<Scheduler::TimerId> id_;
};

}  // namespace velmora
