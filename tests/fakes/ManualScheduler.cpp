#include "tests/fakes/ManualScheduler.h"

#include <utility>

namespace velmora {

Scheduler::TimerId ManualScheduler::scheduleRepeating(double intervalSeconds, std::function<void()> action) {
    const TimerId id = nextId_++;
    timers_[id] = Timer{clock_.now() + intervalSeconds, intervalSeconds, std::move(action)};
    return id;
}

Scheduler::TimerId ManualScheduler::scheduleOnce(double delaySeconds, std::function<void()> action) {
    const TimerId id = nextId_++;
    timers_[id] = Timer{clock_.now() + delaySeconds, 0, std::move(action)};
    return id;
}

void ManualScheduler::cancel(TimerId id) { timers_.erase(id); }

void ManualScheduler::runPosted() {
    while (!posted_.empty()) {
        auto batch = std::exchange(posted_, {});
        for (auto& a : batch) a();
    }
}

void ManualScheduler::advance(double seconds) {
    const Date end = clock_.now() + seconds;
    runPosted();
    for (;;) {
        TimerId nextId = 0;
        Date nextDue = end;
        for (const auto& [id, t] : timers_) {
            if (t.due <= nextDue && (nextId == 0 || t.due < nextDue)) {
                nextId = id;
                nextDue = t.due;
            }
        }
        if (nextId == 0) break;
        clock_.set(nextDue);
        auto action = timers_[nextId].action;  // copy: the action may cancel its own timer
        if (timers_[nextId].interval > 0) timers_[nextId].due = nextDue + timers_[nextId].interval;
        else timers_.erase(nextId);
        action();
        runPosted();
    }
    clock_.set(end);
}

}  // namespace velmora
