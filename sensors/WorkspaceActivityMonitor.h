#pragma once
#include <optional>
#include <vector>

#include "engine/activity/ActivityEventBus.h"
#include "engine/sampling/ProcessGrouper.h"
#include "platform/Clock.h"
#include "platform/Workspace.h"

namespace velmora {

// Publishes an event for each application that launches, quits or comes to the front. This
// application and desktop plumbing are left out.
class WorkspaceActivityMonitor {
public:
    WorkspaceActivityMonitor(ActivityEventBus& bus, Workspace& workspace, const Clock& clock, SelfProcess self);
    ~WorkspaceActivityMonitor();
    WorkspaceActivityMonitor(const WorkspaceActivityMonitor&) = delete;
    WorkspaceActivityMonitor& operator=(const WorkspaceActivityMonitor&) = delete;

    // Replaces any earlier observers with one per notification.
    void start();
    void stop();
    bool isObserving() const { return !observers_.empty(); }

private:
    void handle(const std::optional<RunningApplication>& app, ActivityEventKind kind);

    ActivityEventBus& bus_;
    Workspace& workspace_;
    const Clock& clock_;
    SelfProcess self_;
    std::vector<Workspace::ObserverId> observers_;
};

}  // namespace velmora
