#pragma once
#include <cstdint>
#include <functional>
#include <optional>

namespace velmora {

// Timers and the main-thread queue. Every callback runs on the main thread, never inside another.
class Scheduler {
public:
    using TimerId = std::uint64_t;
    virtual ~Scheduler() = default;
    // Calls `action` every `intervalSeconds` until cancelled. Never returns 0.
    virtual TimerId scheduleRepeating(double intervalSeconds, std::function<void()> action) = 0;
    // Calls `action` once after `delaySeconds`.
    virtual TimerId scheduleOnce(double delaySeconds, std::function<void()> action) = 0;
    // Calls `action` whenever `fd` has something to read, until cancelled; nothing where
    // descriptors cannot be watched (the caller then looks with a timer instead).
    virtual std::optional<TimerId> watchReadable(int fd, std::function<void()> action) {
        (void)fd;
        (void)action;
        return std::nullopt;
    }
    // Ends a timer or a watch.
    virtual void cancel(TimerId id) = 0;
    // Runs `action` on the main thread soon; safe to call from any thread.
    virtual void post(std::function<void()> action) = 0;
};

}  // namespace velmora
