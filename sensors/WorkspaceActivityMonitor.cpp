#include "sensors/WorkspaceActivityMonitor.h"

#include <utility>

#include "engine/detection/NoiseFilter.h"
#include "sensors/RunningAppIdentity.h"

namespace velmora {

WorkspaceActivityMonitor::WorkspaceActivityMonitor(ActivityEventBus& bus, Workspace& workspace, const Clock& clock,
                                                   SelfProcess self)
    : bus_(bus), workspace_(workspace), clock_(clock), self_(std::move(self)) {}

WorkspaceActivityMonitor::~WorkspaceActivityMonitor() { stop(); }

void WorkspaceActivityMonitor::start() {
    stop();
    const std::pair<WorkspaceNotification, ActivityEventKind> routes[] = {
        {WorkspaceNotification::didLaunchApplication, ActivityEventKind::appLaunched},
        {WorkspaceNotification::didTerminateApplication, ActivityEventKind::appTerminated},
        {WorkspaceNotification::didActivateApplication, ActivityEventKind::becameFrontmost},
    };
    for (const auto& [name, kind] : routes)
        observers_.push_back(
            workspace_.addObserver(name, [this, kind](const std::optional<RunningApplication>& app) { handle(app, kind); }));
}

void WorkspaceActivityMonitor::stop() {
    for (const auto id : observers_) workspace_.removeObserver(id);
    observers_.clear();
}

void WorkspaceActivityMonitor::handle(const std::optional<RunningApplication>& app, ActivityEventKind kind) {
    if (!app) return;
    ProcessIdentity identity = identityOf(*app);
    // A copy of this application under another desktop id is still this application.
    identity.isSelf = (app->bundleIdentifier && app->bundleIdentifier == self_.bundleID) || app->pid == self_.pid;
    if (identity.isSelf || NoiseFilter::isNoise(identity)) return;

    ActivityEvent event;
    event.id = Uuid::random();
    event.timestamp = clock_.now();
    event.kind = kind;
    event.app = std::move(identity);
    if (kind == ActivityEventKind::becameFrontmost) event.detail = "Frontmost";
    bus_.publish(event);
}

}  // namespace velmora
