#pragma once
// The real Qt scheduler, counting what is asked of it: timers, descriptor watches and how often a
// watch woke its owner. Needs a QCoreApplication; include it before any X11 header.
#include <functional>
#include <optional>

#include "platform/qt/QtScheduler.h"

namespace velmora {

struct CountingScheduler final : Scheduler {
    QtScheduler qt;
    int timers = 0, watches = 0, wakes = 0;

    TimerId scheduleRepeating(double seconds, std::function<void()> action) override {
        ++timers;
        return qt.scheduleRepeating(seconds, std::move(action));
    }
    TimerId scheduleOnce(double seconds, std::function<void()> action) override {
        ++timers;
        return qt.scheduleOnce(seconds, std::move(action));
    }
    std::optional<TimerId> watchReadable(int fd, std::function<void()> action) override {
        ++watches;
        return qt.watchReadable(fd, [this, action = std::move(action)] {
            ++wakes;
            action();
        });
    }
    void cancel(TimerId id) override { qt.cancel(id); }
    void post(std::function<void()> action) override { qt.post(std::move(action)); }
};

}  // namespace velmora
