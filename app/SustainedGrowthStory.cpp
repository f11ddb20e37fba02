// An app that kept climbing for many minutes becomes a story of how long and how much.
#include <algorithm>
#include <cmath>
#include <limits>

#include "app/AppState.h"
#include "app/StoryText.h"
#include "engine/stories/Phrasing.h"
#include "engine/stories/StoryText.h"
#include "platform/Clock.h"

namespace velmora {

long long storyMinutes(Date start, Date end) {
    const double minutes = std::trunc((end - start) / 60.0);
    if (!(minutes >= 1)) return 1;
    return static_cast<long long>(std::min(minutes, 1e15));
}

std::string decimalText(long long value) { return std::to_string(value); }

void AppState::handleSustainedGrowth(const SustainedGrowthResult& result) {
    const std::uint64_t growth = result.endBytes > result.startBytes ? result.endBytes - result.startBytes : 0;
    const long long minutes = storyMinutes(result.start, result.end);

    std::vector<ActivityEvent> span;
    for (const auto& event : activityBus->eventsBetween(result.start, result.end))
        if (event.app && event.app->groupingKey == result.app.groupingKey &&
            event.kind != ActivityEventKind::becameFrontmost)
            span.push_back(event);

    constexpr auto maxSigned = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    std::string explanation = friendlyAppName(result.app.displayName) + " kept growing for about " +
                              decimalText(minutes) + " minutes (+ " + formatBytes(std::min(growth, maxSigned)) + ").";
    std::string during;
    for (std::size_t i = span.size() > 6 ? span.size() - 6 : 0; i < span.size(); ++i) {
        if (!during.empty()) during += "; ";
        during += activityPhrase(span[i]);
    }
    if (!during.empty()) explanation += "\nDuring that time: " + during + ".";
    explanation += result.wasIdle ? "\nIt grew even while you weren\u2019t using the computer much \u2014 worth a look."
                                  : "\nLong steady growth can mean a leak or heavy background work.";

    TimelineEvent story;
    story.id = Uuid::random();
    story.timestamp = result.end;
    story.kind = TimelineEventKind::sustainedGrowth;
    story.title = result.app.displayName + " continued growing while " + (result.wasIdle ? "idle" : "running");
    story.explanation = std::move(explanation);
    story.confidence = result.wasIdle ? ConfidenceLevel::high : ConfidenceLevel::medium;
    story.relatedApp = result.app;
    story.baselineFootprintBytes = result.startBytes;
    story.longerTerm = ImpactWindow{signedDifference(result.endBytes, result.startBytes), result.end - result.start,
                                    result.endBytes, result.endBytes};
    story.systemContext = sampler->systemSnapshot();
    for (const auto& event : span) story.linkedActivityIDs.push_back(event.id);
    story.primarySource = SensorSource::sustainedGrowth;
    story.supportingSources = evidenceSources(span);

    TimelineEvent filed = rewriteStoryText(story);
    filed.primarySource = SensorSource::sustainedGrowth;
    timeline->add(filed);
    recordSensorLog(SensorLogEntry{Uuid::random(), deps_.clock.now(), SensorSource::sustainedGrowth, filed.title,
                                   result.app.displayName, std::nullopt});
}

}  // namespace velmora
