#include "sensors/IdleDetector.h"

#include <charconv>
#include <cmath>
#include <string>

namespace velmora {

IdleDetector::IdleDetector(ActivityEventBus& bus, IdleTimeSource& source, Scheduler& scheduler, const Clock& clock)
    : bus_(bus), source_(source), clock_(clock), timer_(scheduler) {}

void IdleDetector::start() { timer_.start(checkInterval, [this] { check(); }); }

void IdleDetector::stop() { timer_.stop(); }

void IdleDetector::check() {
    const auto idle = source_.secondsSinceLastInput();
    // No measurement, or one no clock can give, changes nothing.
    if (!idle || !std::isfinite(*idle) || *idle < 0) return;
    if (*idle >= idleThreshold) {
        if (isIdle_) return;
        isIdle_ = true;
        char digits[320];  // room for any finite double written out in full
        const auto written = std::to_chars(digits, digits + sizeof digits, std::trunc(*idle), std::chars_format::fixed, 0);
        publish(ActivityEventKind::userIdle, "Idle for " + std::string(digits, written.ptr) + "s");
    } else if (isIdle_) {
        isIdle_ = false;
        publish(ActivityEventKind::userResumed, std::nullopt);
    }
}

void IdleDetector::publish(ActivityEventKind kind, std::optional<std::string> detail) {
    ActivityEvent event;
    event.id = Uuid::random();
    event.timestamp = clock_.now();
    event.kind = kind;
    event.detail = std::move(detail);
    bus_.publish(event);
}

}  // namespace velmora
