// What every memory sample feeds, in a fixed order.
#include <functional>
#include <string_view>
#include <unordered_map>

#include "app/AppState.h"
#include "platform/Clock.h"

namespace velmora {

void AppState::handleTick(const std::vector<AppMemorySnapshot>& apps, const SystemMemorySnapshot& system) {
    const Clock& clock = deps_.clock;
    timeline->recordSystemSnapshot(system);
    timeline->updateFollowUps(apps, clock.now());
    dailyStats->recordPressureTick(system.pressure, clock.now());
    checkWeeklyDigest(clock.now());

    if (settings->permissions().memoryMonitoringEnabled) {
        changeDetector().evaluate(apps, system, clock.now());
        // Refers to the sample's identities, which outlive the call, instead of copying them.
        std::unordered_map<std::string_view, std::reference_wrapper<const ProcessIdentity>> identities;
        for (const auto& app : apps) identities.emplace(app.identity.groupingKey, app.identity);
        const bool idle = idleDetector().isIdle();
        growthDetector->evaluate(sampler->footprintHistory(), identities, idle, clock.now());
        browserSessionTracker->ingest(apps, clock.now());
    }

    switch (measureController->session().phase) {
        case MeasurePhase::baselining: measureController->handleBaselineSample(apps, system); break;
        case MeasurePhase::recording: measureController->handleRecordingSample(apps, system); break;
        case MeasurePhase::settling: measureController->handleSettlingSample(apps, system); break;
        case MeasurePhase::idle:
        case MeasurePhase::report: break;
    }

    refreshSensorStatus();
    announceChange();
}

}  // namespace velmora
