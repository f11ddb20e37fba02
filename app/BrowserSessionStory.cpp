// A browser that grew over a browsing session becomes a story naming its pages when known.
#include <algorithm>

#include "app/AppState.h"
#include "app/EvidenceSources.h"
#include "app/StoryText.h"
#include "engine/detection/NoiseFilter.h"
#include "engine/stories/Phrasing.h"
#include "engine/stories/StoryText.h"
#include "platform/Clock.h"
#include "sensors/PageLabel.h"

namespace velmora {

namespace {
constexpr std::int64_t minimumGrowth = 80ll * 1024 * 1024;

std::optional<std::string_view> view(const std::optional<std::string>& s) {
    return s ? std::optional<std::string_view>(*s) : std::nullopt;
}

std::string joined(const std::vector<std::string>& items, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i) out += separator;
        out += items[i];
    }
    return out;
}
}  // namespace

void AppState::handleBrowserSessionStory(const BrowserSessionStory& session) {
    if (NoiseFilter::isNoise(session.app)) return;
    const std::int64_t growth = signedDifference(session.endBytes, session.startBytes);
    if (growth < minimumGrowth) return;

    std::vector<ActivityEvent> span;
    for (const auto& event : activityBus->eventsSince(session.start))
        if (eventBelongsToApp(event, session.app)) span.push_back(event);

    std::vector<std::string> pages = session.pages;
    for (const auto& event : span) {
        // A sensor's free detail ("window_title_probe", a role) is no host; only a dotted name is.
        const bool hostLike = event.detail && event.detail->find('.') != std::string::npos &&
                              event.detail->find(' ') == std::string::npos;
        auto label = pageLabel(view(event.windowTitle), view(event.urlString),
                               hostLike ? view(event.detail) : std::nullopt);
        if (label && std::find(pages.begin(), pages.end(), *label) == pages.end()) pages.push_back(*label);
    }
    if (pages.size() > 5) pages.resize(5);
    const std::vector<std::string> shown(pages.begin(), pages.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(pages.size(), 3)));

    const std::string name = friendlyAppName(session.app.displayName);
    const std::string changes = decimalText(static_cast<long long>(session.pageChangeCount)) + " tab/page changes";
    const ImpactVerdict verdict = impactVerdict(growth, sampler->systemSnapshot());
    const std::string verdictLine = verdict.label + ": " + verdict.reason;

    std::string title, explanation;
    ConfidenceLevel confidence;
    if (!shown.empty()) {
        title = name + " \u00b7 " + joined(shown, ", ");
        explanation = joined(shown, ", ") + "\n" + verdictLine;
        confidence = ConfidenceLevel::high;
    } else if (session.pageChangeCount >= 1) {
        title = name + " \u00b7 " + changes;
        explanation = changes + "\n" + verdictLine;
        confidence = ConfidenceLevel::medium;
    } else {
        title = name + " used more memory";
        explanation = "Grew over ~" + decimalText(storyMinutes(session.start, session.end)) +
                      " min \u2014 no page details captured this time.\n";
        if (!extensionEverConnected)
            explanation += "Install the browser extension for tab-level detail even in background tabs (Setup).\n";
        explanation += verdictLine;
        confidence = ConfidenceLevel::low;
        ++lowConfidenceBrowserStoryCount;
        announceChange();
    }

    const ImpactWindow window{growth, session.end - session.start, session.peakBytes, session.endBytes};
    TimelineEvent story;
    story.id = Uuid::random();
    story.timestamp = session.end;
    story.kind = TimelineEventKind::sustainedGrowth;
    story.title = title;
    story.explanation = explanation;
    story.confidence = confidence;
    story.relatedApp = session.app;
    story.baselineFootprintBytes = session.startBytes;
    story.immediate = window;
    story.settled = window;
    story.systemContext = sampler->systemSnapshot();
    story.primarySource = SensorSource::browserSession;
    story.supportingSources = evidenceSources(span);
    if (story.supportingSources.empty()) story.supportingSources = {SensorSource::memorySampler};

    TimelineEvent filed = rewriteStoryText(story);
    filed.title = title;
    filed.primarySource = SensorSource::browserSession;
    if (!shown.empty()) filed.explanation = explanation;
    timeline->add(filed);

    recordSensorLog(SensorLogEntry{Uuid::random(), deps_.clock.now(), SensorSource::browserSession, title,
                                   session.app.displayName,
                                   "+" + formatBytes(byteMagnitude(growth)) + " \u00b7 sources: " +
                                       joinSourceLabels(filed.supportingSources, "+")});
}

}  // namespace velmora
