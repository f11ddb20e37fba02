#include "engine/stories/AttributionEngine.h"

#include <algorithm>
#include <array>

#include "engine/activity/BrowserActivityAdapter.h"
#include "engine/stories/Phrasing.h"
#include "engine/support/QuietKind.h"
#include "engine/support/Utf8.h"

namespace velmora {

namespace {

// Indexed by the kind's declaration position.
constexpr std::array<double, 16> kKindWeights{4.0, 3.0, 1.5, 5.0, 3.0, 6.0, 4.0, 4.0,
                                              1.0, 1.0, 9.0, 10.0, 7.0, 8.0, 9.0, 3.5};

constexpr std::size_t kMaxLinked = 6;
constexpr std::size_t kMaxDetails = 3;
constexpr std::size_t kMaxBullets = 4;

double kindWeight(ActivityEventKind kind) {
    const auto index = static_cast<std::size_t>(kind);
    return index < kKindWeights.size() ? kKindWeights[index] : 0.0;
}

bool isStrong(ActivityEventKind kind) { return AttributionEngine::isStrongKind(kind); }

// A detail worth naming: present and not blank ("grew on " with nothing after it says nothing).
const std::string* usableText(const std::optional<std::string>& text) {
    if (!text || utf8::trim(*text).empty()) return nullptr;
    return &*text;
}

void appendUnique(std::vector<std::string>& list, std::string item) {
    if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(std::move(item));
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i) out += '\n';
        out += lines[i];
    }
    return out;
}

}  // namespace

bool AttributionEngine::isStrongKind(ActivityEventKind kind) {
    return kind == ActivityEventKind::titleChanged || kind == ActivityEventKind::pageNavigated ||
           kind == ActivityEventKind::tabActivity || kind == ActivityEventKind::siteActivity ||
           kind == ActivityEventKind::windowOpened;
}

bool AttributionEngine::isSameApp(const ProcessIdentity& a, const ProcessIdentity& b) {
    if (a.groupingKey == b.groupingKey) return true;
    const auto bundleA = usableBundleID(a.bundleID);
    const auto bundleB = usableBundleID(b.bundleID);
    if (bundleA && bundleB && *bundleA == *bundleB) return true;
    const auto familyA = BrowserActivityAdapter::browserFamily(a);
    if (!familyA) return false;
    const auto familyB = BrowserActivityAdapter::browserFamily(b);
    return familyB && *familyA == *familyB;
}

double AttributionEngine::score(const ActivityEvent& event, Date start, double span) {
    const double t = (event.timestamp - start) / span;
    const double recency = std::clamp(2.0 * t, 0.0, 2.0);
    double value = kindWeight(event.kind) + recency;
    if (event.kind == ActivityEventKind::becameFrontmost) value *= 0.3;
    return value;
}

AttributionEngine::Attribution AttributionEngine::attribute(const SignificantChange& change,
                                                            const std::vector<ActivityEvent>& events,
                                                            const std::vector<StructuredSignal>& signals) const {
    using Case = SignificantChange::Kind::Case;
    Attribution result;

    if (change.kind.which == Case::pressureTransition) {
        result.title = "Computer memory went " + utf8::lower(pressureLabel(change.kind.to));
        result.explanation = pressureChangeSentence(change.kind.from, change.kind.to);
        result.confidence = ConfidenceLevel::high;
        return result;
    }
    if (change.kind.which == Case::swapSpike) {
        result.title = "Computer started using disk for memory";
        result.explanation = "Your computer started using disk as extra memory quickly. That often makes things feel slow.";
        result.confidence = ConfidenceLevel::medium;
        return result;
    }

    const ProcessIdentity& app = change.app;
    const Date start = change.growthStartedAt ? *change.growthStartedAt : change.detectedAt - 60.0;
    const Date end = change.detectedAt + 5.0;
    const double span = std::max(change.detectedAt - start, 1.0);

    std::vector<const ActivityEvent*> matched;
    for (const auto& event : events)
        if (event.timestamp >= start && event.timestamp <= end && event.app && isSameApp(*event.app, app))
            matched.push_back(&event);

    if (const auto appBundle = usableBundleID(app.bundleID)) {
        for (const auto& signal : signals) {
            const auto signalBundle = usableBundleID(signal.bundleID);
            if (signalBundle && (signalBundle->starts_with(*appBundle) || appBundle->starts_with(*signalBundle)))
                result.structuredSignals.push_back(signal);
        }
    }

    struct Scored {
        const ActivityEvent* event;
        double score;
    };
    std::vector<Scored> scored;
    scored.reserve(matched.size());
    for (const auto* event : matched) scored.push_back({event, score(*event, start, span)});
    // Stable: equal scores keep the order the events came in.
    std::stable_sort(scored.begin(), scored.end(), [](const Scored& a, const Scored& b) { return a.score > b.score; });

    const bool hasMeaningful =
        std::any_of(scored.begin(), scored.end(), [](const Scored& s) { return !isQuietKind(s.event->kind); });
    std::vector<const ActivityEvent*> strong, media;
    for (const auto* event : matched) {
        if (isStrong(event->kind)) strong.push_back(event);
        if (event->kind == ActivityEventKind::mediaLikelyPlaying) media.push_back(event);
    }
    for (std::size_t i = 0; i < scored.size() && i < kMaxLinked; ++i) result.linkedActivities.push_back(*scored[i].event);

    // What the user did, most telling first.
    std::vector<std::string> factors;
    if (!media.empty()) factors.push_back(userActionSentence(*media.front()));
    std::vector<std::string> details;
    for (const auto* event : strong)
        if (const auto* detail = usableText(event->detail)) appendUnique(details, *detail);
    for (const auto& signal : result.structuredSignals)
        if (signal.name == "site")
            if (const auto* detail = usableText(signal.detail)) appendUnique(details, *detail);
    for (std::size_t i = 0; i < details.size() && i < kMaxDetails; ++i) factors.push_back("You opened " + details[i]);
    if (details.empty() && !strong.empty()) {
        const std::size_t from = strong.size() >= 2 ? strong.size() - 2 : 0;
        for (std::size_t i = from; i < strong.size(); ++i) factors.push_back(userActionSentence(*strong[i]));
    }
    if (factors.empty()) {
        for (const auto& event : result.linkedActivities) {
            if (event.kind == ActivityEventKind::becameFrontmost) continue;
            factors.push_back(userActionSentence(event));
            break;
        }
    }
    for (auto& factor : factors) appendUnique(result.primaryFactors, std::move(factor));

    if (!media.empty() || !strong.empty()) result.confidence = ConfidenceLevel::high;
    else if (hasMeaningful) result.confidence = ConfidenceLevel::medium;
    else result.confidence = ConfidenceLevel::low;
    result.needsVisualFallback = result.confidence == ConfidenceLevel::low && change.kind.which == Case::largeGrowth;

    const std::string name = friendlyAppName(app.displayName);
    const std::int64_t delta = change.signedDelta;
    std::vector<std::string> lines;
    if (delta >= 0) lines.push_back(name + " grew by about " + formatBytes(byteMagnitude(delta)) + ".");
    else lines.push_back(name + " shrank by about " + formatBytes(byteMagnitude(delta)) + ".");
    if (hasMeaningful && !result.primaryFactors.empty()) {
        lines.push_back("What you were doing around then:");
        for (std::size_t i = 0; i < result.primaryFactors.size() && i < kMaxBullets; ++i)
            lines.push_back("\u2022 " + result.primaryFactors[i]);
        lines.push_back("These lined up in time \u2014 a good guess, not proof.");
    } else if (delta < 0) {
        lines.push_back("Memory came free \u2014 often after closing tabs, windows, or quitting.");
    } else {
        lines.push_back("We saw you use " + name + ", but not exactly which click or page caused this.");
    }
    if (change.system) {
        switch (change.system->pressure) {
            case MemoryPressureLevel::normal: lines.push_back("Your computer\u2019s overall memory still looked fine."); break;
            case MemoryPressureLevel::warning: lines.push_back("Your computer was starting to feel memory pressure."); break;
            case MemoryPressureLevel::critical: lines.push_back("Your computer was under heavy memory pressure."); break;
        }
    }
    result.explanation = joinLines(lines);

    const ActivityEvent* lastStrongWithDetail = nullptr;
    for (const auto* event : strong)
        if (usableText(event->detail)) lastStrongWithDetail = event;
    const StructuredSignal* firstSite = nullptr;
    for (const auto& signal : result.structuredSignals)
        if (signal.name == "site") {
            firstSite = &signal;
            break;
        }

    if (!media.empty()) {
        const ActivityEvent& first = *media.front();
        std::string label = "a video";
        if (const auto* detail = usableText(first.detail)) label = *detail;
        else if (const auto* title = usableText(first.windowTitle)) label = *title;
        result.title = name + " grew while watching " + utf8::shorten(label, 60, 57);
    } else if (lastStrongWithDetail) {
        result.title = name + " grew on " + *lastStrongWithDetail->detail;
    } else if (firstSite && usableText(firstSite->detail)) {
        result.title = name + " grew on " + *firstSite->detail;
    } else {
        result.title = freedOrUsedPhrase(app, delta);
    }
    return result;
}

}  // namespace velmora
