// A finished "Check one action" report, filed as a story on the user's request.
#include "app/AppState.h"
#include "engine/stories/Phrasing.h"
#include "engine/stories/StoryText.h"
#include "platform/Clock.h"

#include <algorithm>

namespace velmora {

namespace {
const char* confidenceSentence(ConfidenceLevel level) {
    switch (level) {
        case ConfidenceLevel::high: return "We\u2019re fairly sure this matches what you were doing.";
        case ConfidenceLevel::medium: return "Best guess from the numbers \u2014 not proven for a specific tab or click.";
        case ConfidenceLevel::low: break;
    }
    return "We saw a memory change, but we\u2019re not sure why.";
}
}  // namespace

void AppState::recordMeasurementStory() {
    const auto& report = measureController->latestReport();
    if (!report) return;
    // One story per report: pressing again shows the story already filed.
    if (filedMeasurement_ && filedMeasurement_->first == report->id) {
        const auto& events = timeline->events();
        const Uuid storyID = filedMeasurement_->second;
        if (std::any_of(events.begin(), events.end(), [&](const TimelineEvent& e) { return e.id == storyID; })) {
            selectedSidebar = SidebarItem::timeline;
            selectedEventID = storyID;
            announceChange();
            return;
        }
    }
    const std::string title =
        "Check one action \u2014 " + (report->targetApp ? friendlyAppName(report->targetApp->displayName) : "App");

    TimelineEvent story;
    story.id = Uuid::random();
    story.timestamp = report->createdAt;
    story.kind = TimelineEventKind::measureSession;
    story.title = title;
    story.explanation = report->summary + "\n" + confidenceSentence(report->confidence);
    story.confidence = report->confidence;
    story.relatedApp = report->targetApp;
    story.baselineFootprintBytes = report->beforeBytes;
    // Without both figures there is no change to tell: a missing peak is not a release of the baseline.
    if (report->peakBytes && report->beforeBytes)
        story.immediate = ImpactWindow{signedDifference(*report->peakBytes, *report->beforeBytes),
                                       std::max(0.0, report->actionDuration.value_or(0)), report->peakBytes,
                                       report->peakBytes};
    // Without a lasting impact nothing settled: no made-up change of 0 bytes.
    if (report->lastingImpactBytes)
        story.settled = ImpactWindow{*report->lastingImpactBytes, 60.0, report->peakBytes, report->settledBytes};
    story.systemContext = sampler->systemSnapshot();
    story.primarySource = SensorSource::measureMode;
    story.supportingSources = {SensorSource::memorySampler};

    TimelineEvent filed = rewriteStoryText(story);
    filed.primarySource = SensorSource::measureMode;
    filed.title = title;
    timeline->add(filed);
    filedMeasurement_ = std::pair(report->id, filed.id);
    recordSensorLog(SensorLogEntry{Uuid::random(), deps_.clock.now(), SensorSource::measureMode, title,
                                   report->targetApp ? std::optional(report->targetApp->displayName) : std::nullopt,
                                   std::nullopt});
    selectedSidebar = SidebarItem::timeline;
    selectedEventID = filed.id;
    announceChange();
}

}  // namespace velmora
