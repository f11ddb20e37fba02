// A confirmed memory change becomes a story: its activity, attribution, follow-ups and, when the
// attribution is weak, a later look at the screen.
#include <algorithm>
#include <cmath>

#include "app/AppState.h"
#include "app/EvidenceSources.h"
#include "engine/detection/NoiseFilter.h"
#include "engine/stories/StoryText.h"
#include "platform/Clock.h"

namespace velmora {

namespace {

constexpr std::uint64_t smallChangeBytes = 48ull * 1024 * 1024;
constexpr double pressureRepeatSeconds = 90.0;

TimelineEventKind storyKind(SignificantChange::Kind::Case kind) {
    switch (kind) {
        case SignificantChange::Kind::Case::pressureTransition: return TimelineEventKind::pressureChanged;
        case SignificantChange::Kind::Case::swapSpike: return TimelineEventKind::swapSpike;
        case SignificantChange::Kind::Case::largeGrowth: return TimelineEventKind::largeDelta;
        case SignificantChange::Kind::Case::largeRelease: return TimelineEventKind::memoryReleased;
    }
    return TimelineEventKind::largeDelta;
}

bool isSystemKind(TimelineEventKind kind) {
    return kind == TimelineEventKind::pressureChanged || kind == TimelineEventKind::swapSpike;
}

// The story a merge kept: what TimelineStore::add merges an app story into.
std::optional<Uuid> mergeTarget(const std::vector<TimelineEvent>& events, const TimelineEvent& story) {
    if (!story.relatedApp) return std::nullopt;
    for (const auto& stored : events) {
        const bool mergeable = std::find(TimelineStore::mergeableKinds.begin(), TimelineStore::mergeableKinds.end(),
                                         stored.kind) != TimelineStore::mergeableKinds.end();
        if (mergeable && stored.relatedApp && stored.relatedApp->groupingKey == story.relatedApp->groupingKey &&
            std::fabs(stored.timestamp - story.timestamp) <= TimelineStore::mergeSeconds)
            return stored.id;
    }
    return std::nullopt;
}

}  // namespace

void AppState::handleSignificantChange(const SignificantChange& change) {
    const bool isSystem = change.app.groupingKey == "system";
    if (!isSystem && NoiseFilter::isNoise(change.app)) return;

    const Date growthStart = change.growthStartedAt.value_or(change.detectedAt - 60.0);
    const double lead = change.detectedAt - growthStart;
    const Date windowStart = lead + 15.0 >= 60.0 ? change.detectedAt - (lead + 15.0) : change.detectedAt - 60.0;
    const std::vector<ActivityEvent> window = activityBus->eventsBetween(windowStart, change.detectedAt + 10.0);

    std::vector<StructuredSignal> signals;
    for (const auto& event : window) {
        if (!eventBelongsToApp(event, change.app)) continue;
        const SamplingContext context{event.app->bundleID, event.timestamp};
        for (const auto& adapter : adapterRegistry->adapters) {
            if (!adapter->handles(event)) continue;
            auto more = adapter->signals(event, context);
            signals.insert(signals.end(), more.begin(), more.end());
        }
    }

    // A page is often reported as it comes to the front, before its scripts fill memory. When the
    // rise itself holds no title or page of the app's, the attribution starts from the app's last
    // one before it, so the page is named; otherwise what the rise holds decides.
    SignificantChange looked = change;
    if (!isSystem) {
        bool strongInRise = false;
        std::optional<Date> lastStrongBefore;
        for (const auto& event : window) {
            if (!AttributionEngine::isStrongKind(event.kind) || !eventBelongsToApp(event, change.app)) continue;
            if (event.timestamp < growthStart) lastStrongBefore = std::max(lastStrongBefore.value_or(event.timestamp), event.timestamp);
            else if (event.timestamp <= change.detectedAt + 5.0) strongInRise = true;
        }
        if (!strongInRise && lastStrongBefore) looked.growthStartedAt = *lastStrongBefore;
    }
    const AttributionEngine::Attribution attributed = attribution->attribute(looked, window, signals);
    const TimelineEventKind kind = storyKind(change.kind.which);

    if (kind == TimelineEventKind::largeDelta || kind == TimelineEventKind::memoryReleased) {
        if (byteMagnitude(change.signedDelta) < smallChangeBytes && change.system &&
            change.system->pressure == MemoryPressureLevel::normal)
            return;
    }
    if (kind == TimelineEventKind::pressureChanged) {
        const auto& events = timeline->events();
        auto newest = std::find_if(events.begin(), events.end(),
                                   [](const TimelineEvent& e) { return e.kind == TimelineEventKind::pressureChanged; });
        if (newest != events.end() && std::fabs(newest->timestamp - change.detectedAt) < pressureRepeatSeconds) return;
    }

    TimelineEvent story;
    story.id = Uuid::random();
    story.timestamp = change.detectedAt;
    story.kind = kind;
    story.title = attributed.title;
    story.explanation = attributed.explanation;
    story.confidence = attributed.confidence;
    if (!isSystem) story.relatedApp = change.app;
    if (!isSystemKind(kind)) {
        story.baselineFootprintBytes = change.baselineFootprint;
        story.immediate = ImpactWindow{change.signedDelta, lead, change.peakFootprint, change.currentFootprint};
    }
    story.systemContext = change.system;
    for (const auto& linked : attributed.linkedActivities) story.linkedActivityIDs.push_back(linked.id);
    story.isPendingWindows = !isSystem && !isSystemKind(kind);
    story.primarySource = isSystemKind(kind) ? SensorSource::systemPressure : SensorSource::significantChange;
    story.supportingSources = evidenceSources(attributed.linkedActivities);

    const TimelineEvent filed = rewriteStoryText(story);
    const std::optional<Uuid> keptBy = mergeTarget(timeline->events(), filed);
    timeline->add(filed);

    recordSensorLog(SensorLogEntry{Uuid::random(), deps_.clock.now(), filed.primarySource, filed.title,
                                   filed.relatedApp ? std::optional(filed.relatedApp->displayName) : std::nullopt,
                                   joinSourceLabels(filed.supportingSources, ", ")});

    // The story that holds the change after add: the new one, or the one it was merged into.
    Uuid holder = filed.id;
    const auto& events = timeline->events();
    const bool inserted = std::any_of(events.begin(), events.end(), [&](const TimelineEvent& e) { return e.id == filed.id; });
    if (!inserted && keptBy) holder = *keptBy;

    if (!isSystem && !isSystemKind(kind))
        timeline->registerFollowUp(filed, change.app.groupingKey, change.baselineFootprint, change.peakFootprint);

    const bool wanted = attributed.needsVisualFallback || (visualAnalyzer && visualAnalyzer->shouldAnalyze(change, signals));
    if (wanted && settings->permissions().screenshotsEnabled && systemPermissions.screenRecordingGranted)
        startVisualLook(change, attributed.needsVisualFallback, holder);
}

void AppState::startVisualLook(const SignificantChange& change, bool force, const Uuid& storyID) {
    if (!visualAnalyzer) return;
    std::weak_ptr<AppState*> weak = alive_;
    visualAnalyzer->analyze(change, force, [weak, storyID](std::optional<std::string> summary) {
        auto self = weak.lock();
        if (!self || !summary) return;
        AppState& state = **self;
        const auto& events = state.timeline->events();
        auto it = std::find_if(events.begin(), events.end(), [&](const TimelineEvent& e) { return e.id == storyID; });
        if (it == events.end()) return;
        TimelineEvent amended = *it;
        amended.explanation += " On screen around then: " + *summary;
        if (amended.confidence == ConfidenceLevel::low) amended.confidence = ConfidenceLevel::medium;
        state.timeline->update(amended);
        state.announceChange();
    });
}

}  // namespace velmora
