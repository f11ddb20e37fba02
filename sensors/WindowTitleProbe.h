#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "engine/activity/ActivityEventBus.h"
#include "engine/sampling/ProcessGrouper.h"
#include "platform/Clock.h"
#include "platform/WindowList.h"
#include "platform/Workspace.h"
#include "sensors/SensorTimer.h"

namespace velmora {

// Reads the title of the frontmost application's main window from the window list and
// publishes a window event when it changes. Needs no accessibility access.
class WindowTitleProbe {
public:
    static constexpr double interval = 0.75;  // seconds between looks

    WindowTitleProbe(ActivityEventBus& bus, Workspace& workspace, WindowList& windows, Scheduler& scheduler,
                     const Clock& clock, SelfProcess self);

    // Replaces any running timer, then looks once at once.
    void start();
    void stop();
    void poll();

    // The title of the process's largest on-screen window, ordinary windows preferred.
    std::optional<std::string> frontmostWindowTitle(std::int32_t pid);

    bool isRunning() const { return timer_.isActive(); }
    // What the last look found, for the sensor status; a sensitive title is never kept.
    const std::optional<std::string>& lastObservedTitle() const { return lastObservedTitle_; }
    const std::optional<std::string>& lastObservedApp() const { return lastObservedApp_; }
    const std::optional<Date>& lastObservedAt() const { return lastObservedAt_; }

private:
    ActivityEventBus& bus_;
    Workspace& workspace_;
    WindowList& windows_;
    const Clock& clock_;
    SelfProcess self_;
    SensorTimer timer_;
    std::optional<std::string> lastKey_;
    std::optional<std::string> lastTitle_;
    std::optional<std::string> lastObservedTitle_;
    std::optional<std::string> lastObservedApp_;
    std::optional<Date> lastObservedAt_;
};

}  // namespace velmora
