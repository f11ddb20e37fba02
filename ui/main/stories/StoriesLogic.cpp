#include "ui/main/stories/StoriesLogic.h"

#include <algorithm>
#include <limits>
#include <map>

#include "engine/detection/NoiseFilter.h"
#include "engine/stories/Phrasing.h"
#include "engine/stories/StoryText.h"
#include "engine/support/ByteMath.h"
#include "engine/support/Utf8.h"

#include <QCollator>
#include <QLocale>

namespace velmora::stories {

namespace {

constexpr std::uint64_t smallChangeLimit = 50'331'648;  // 48 MiB
constexpr std::int64_t spikeMargin = 41'943'040;         // 40 MiB

std::string cappedBytes(std::uint64_t bytes) {
    return formatBytes(std::min<std::uint64_t>(bytes, std::numeric_limits<std::int64_t>::max()));
}

}  // namespace

std::string_view title(ImpactFilter filter) {
    switch (filter) {
        case ImpactFilter::all: return "All impact";
        case ImpactFilter::helps: return "Helps";
        case ImpactFilter::tiny: return "Tiny";
        case ImpactFilter::smallHit: return "Small hit";
        case ImpactFilter::worthWatching: return "Worth watching";
        case ImpactFilter::stress: return "Adds stress / hurts";
    }
    return "All impact";
}

std::string_view rawValue(ImpactFilter filter) {
    static constexpr std::array<std::string_view, 6> raw{"all", "helps", "tiny", "smallHit", "worthWatching", "stress"};
    return raw[static_cast<std::size_t>(filter)];
}

std::optional<ImpactFilter> impactFilterFromRaw(std::string_view raw) {
    for (const auto f : allImpactFilters)
        if (rawValue(f) == raw) return f;
    return std::nullopt;
}

bool matches(ImpactFilter filter, std::string_view label) {
    switch (filter) {
        case ImpactFilter::all: return true;
        case ImpactFilter::helps: return label == "Helps";
        case ImpactFilter::tiny: return label == "Tiny";
        case ImpactFilter::smallHit: return label == "Small hit";
        case ImpactFilter::worthWatching: return label == "Worth watching";
        case ImpactFilter::stress: return label == "Adds stress" || label == "Hurts now" || label == computerStatus;
    }
    return false;
}

std::string impactLabel(const TimelineEvent& story) {
    if (isSystemStory(story)) return std::string(computerStatus);
    return impactVerdict(storyDelta(story), story.systemContext).label;
}

bool isVisible(const TimelineEvent& story) {
    using K = TimelineEventKind;
    switch (story.kind) {
        case K::pressureChanged:
        case K::swapSpike:
        case K::measureSession: return true;
        case K::largeDelta:
        case K::sustainedGrowth:
        case K::memoryReleased: break;
        default: return false;
    }
    if (story.relatedApp && NoiseFilter::isNoise(*story.relatedApp)) return false;
    const auto* window = firstPresentWindow(story);
    if (!window) return true;
    const std::uint64_t size = byteMagnitude(window->deltaBytes);
    if (size == 0) return false;
    if (size >= smallChangeLimit) return true;
    return !story.systemContext || story.systemContext->pressure != MemoryPressureLevel::normal ||
           story.kind == K::sustainedGrowth;
}

std::string searchHaystack(const TimelineEvent& story) {
    return utf8::lower(story.title + " " + story.explanation + " " +
                       (story.relatedApp ? story.relatedApp->displayName : std::string()));
}

bool matchesFilters(const TimelineEvent& story, const Filters& filters) {
    return matchesFilters(story, filters.search.empty() ? std::string() : searchHaystack(story), filters);
}

bool matchesFilters(const TimelineEvent& story, const std::string& haystack, const Filters& filters) {
    if (filters.appKey) {
        if (!story.relatedApp) return false;
        if (story.relatedApp->groupingKey != *filters.appKey &&
            friendlyAppName(story.relatedApp->displayName) != *filters.appKey)
            return false;
    }
    if (!matches(filters.impact, impactLabel(story))) return false;
    if (filters.search.empty()) return true;
    return haystack.find(utf8::lower(filters.search)) != std::string::npos;
}

std::vector<AppOption> appOptions(const std::vector<const TimelineEvent*>& visible) {
    std::map<std::string, std::string> names;
    for (const auto* story : visible)
        if (story->relatedApp) names[story->relatedApp->groupingKey] = friendlyAppName(story->relatedApp->displayName);
    std::vector<AppOption> out;
    out.reserve(names.size());
    for (auto& [key, name] : names) out.push_back({key, std::move(name)});
    // The C locale orders by code point ("Émacs" after "windowhog"): read it as the root order.
    QLocale locale = QLocale::system();
    if (locale.language() == QLocale::C) locale = QLocale(QLocale::English);
    QCollator collator(locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(out.begin(), out.end(), [&](const AppOption& a, const AppOption& b) {
        return collator.compare(QString::fromStdString(a.name), QString::fromStdString(b.name)) < 0;
    });
    return out;
}

std::vector<AppOption> pickerOptions(std::vector<AppOption> options, const std::optional<AppOption>& chosen) {
    if (chosen && std::none_of(options.begin(), options.end(), [&](const AppOption& o) { return o.key == chosen->key; }))
        options.push_back(*chosen);
    return options;
}

bool showsExtensionNudge(bool extensionEverConnected, bool nudgeDismissed, int lowConfidenceBrowserStories) {
    if (extensionEverConnected || nudgeDismissed) return false;
    return lowConfidenceBrowserStories > 0;
}

Tone verdictTone(int level) {
    if (level <= 0) return Tone::green;
    if (level <= 2) return Tone::secondary;
    if (level == 3) return Tone::yellow;
    return Tone::red;
}

RowModel rowModel(const TimelineEvent& story) {
    RowModel row;
    const bool system = isSystemStory(story);
    const std::int64_t delta = storyDelta(story);
    const auto end = firstEndFootprint(story);
    if (end && story.systemContext && story.systemContext->totalPhysicalBytes > 0)
        row.share = std::clamp(static_cast<double>(*end) / static_cast<double>(story.systemContext->totalPhysicalBytes),
                               0.0, 1.0);
    if (system) {
        row.deltaText = "Computer";
        row.deltaTone = Tone::yellow;
        row.symbol = RowSymbol::gauge;
        row.accent = Tone::yellow;
        row.summary = std::string(computerStatus);
        row.summaryTone = Tone::yellow;
    } else {
        row.deltaText = formatSignedBytes(delta);
        row.deltaTone = delta < 0 ? Tone::green : Tone::primary;
        if (end) row.totalText = "now " + cappedBytes(*end);
        row.symbol = delta < 0 ? RowSymbol::down : RowSymbol::up;
        row.accent = delta < 0 ? Tone::green : Tone::orange;
        const auto verdict = impactVerdict(delta, story.systemContext);
        row.summary = verdict.label;
        row.summaryTone = verdictTone(verdict.level);
    }
    // A computer-wide story's explanation is the same every time: its line stays blank.
    if (!system) row.subtitle = storyDisplayHeadline(story.explanation, {});
    row.sourceLabel = std::string(label(story.primarySource));
    row.accessibleText = story.title + ", " + row.deltaText + ", now " +
                         (!system && end ? cappedBytes(*end) : std::string("unknown total")) + ", " + row.summary;
    return row;
}

std::optional<std::int64_t> spikeAboveSettled(const TimelineEvent& story, std::int64_t delta) {
    const ImpactWindow* window = nullptr;
    if (story.immediate && story.immediate->peakBytes) window = &*story.immediate;
    else if (story.settled && story.settled->peakBytes) window = &*story.settled;
    if (!window || !story.baselineFootprintBytes) return std::nullopt;
    const std::int64_t spike = signedDifference(*window->peakBytes, *story.baselineFootprintBytes);
    // A peak below where the story settled is no spike; 128 bits keep the gap from overflowing.
    if (spike <= 0) return std::nullopt;
    const __int128 above = static_cast<__int128>(spike) - static_cast<__int128>(delta);
    if (above <= spikeMargin) return std::nullopt;
    return spike;
}

DetailModel detailModel(const TimelineEvent& story) {
    DetailModel d;
    d.delta = isSystemStory(story) ? 0 : storyDelta(story);
    d.deltaText = formatSignedBytes(d.delta);
    d.deltaGreen = d.delta < 0;
    const auto verdict = impactVerdict(d.delta, story.systemContext);
    d.cardLabel = verdict.label;
    d.cardReason = verdict.reason;
    d.tone = verdictTone(verdict.level);
    d.offersQuit = story.relatedApp && d.delta >= 1 && !story.relatedApp->isSelf &&
                   !NoiseFilter::isNoise(*story.relatedApp) && story.relatedApp->groupingKey != "system";
    d.headline = storyDisplayHeadline(story.explanation, {});
    if (const auto spike = spikeAboveSettled(story, d.delta))
        d.spikeLine = "Spiked to " + formatSignedBytes(*spike) + " for a moment, then settled here.";
    if (story.systemContext) d.freeLine = "Free on computer then: " + cappedBytes(story.systemContext->availableBytes);
    d.badges.push_back(story.primarySource);
    for (std::size_t i = 0; i < story.supportingSources.size() && i < 4; ++i) d.badges.push_back(story.supportingSources[i]);
    d.sourceExplanation = std::string(explanation(story.primarySource));
    return d;
}

}  // namespace velmora::stories
