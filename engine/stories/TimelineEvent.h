#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/sampling/ProcessIdentity.h"
#include "engine/sampling/SystemMemorySnapshot.h"
#include "engine/stories/SensorSource.h"
#include "engine/support/Json.h"

namespace velmora {

// The first ten cases mirror ActivityEventKind's first ten, by name and position.
enum class TimelineEventKind {
    appLaunched,
    appTerminated,
    becameFrontmost,
    windowOpened,
    windowClosed,
    titleChanged,
    menuCommand,
    dialogAppeared,
    userIdle,
    userResumed,
    largeDelta,
    sustainedGrowth,
    memoryReleased,
    pressureChanged,
    swapSpike,
    measureSession,
};

template <>
struct EnumNames<TimelineEventKind> {
    static constexpr std::array<std::string_view, 16> names{
        "appLaunched", "appTerminated",   "becameFrontmost", "windowOpened",    "windowClosed", "titleChanged",
        "menuCommand", "dialogAppeared",  "userIdle",        "userResumed",     "largeDelta",   "sustainedGrowth",
        "memoryReleased", "pressureChanged", "swapSpike",    "measureSession"};
};

// How sure the system is of a story's explanation. All cases run strongest first.
enum class ConfidenceLevel { high, medium, low };

template <>
struct EnumNames<ConfidenceLevel> {
    static constexpr std::array<std::string_view, 3> names{"high", "medium", "low"};
};

// "Strong", "Best guess", "Unsure".
std::string_view label(ConfidenceLevel level);
// The one-sentence reading of a level.
std::string_view sentence(ConfidenceLevel level);
// "How sure: " + label + ". " + sentence.
std::string howSureText(ConfidenceLevel level);

// Strength rank: absent 0, low 1, medium 2, high 3.
int confidenceStrength(std::optional<ConfidenceLevel> level);
// The stronger of two optional levels; absent only when both are.
std::optional<ConfidenceLevel> strongerConfidence(std::optional<ConfidenceLevel> a, std::optional<ConfidenceLevel> b);

// One follow-up measurement of a story's app against its baseline footprint.
struct ImpactWindow {
    std::int64_t deltaBytes = 0;
    double duration = 0;
    std::optional<std::uint64_t> peakBytes;
    std::optional<std::uint64_t> endFootprintBytes;

    bool operator==(const ImpactWindow&) const = default;

    static constexpr auto jsonFields =
        std::tuple{jsonField("deltaBytes", &ImpactWindow::deltaBytes), jsonField("duration", &ImpactWindow::duration),
                   jsonField("peakBytes", &ImpactWindow::peakBytes),
                   jsonField("endFootprintBytes", &ImpactWindow::endFootprintBytes)};
    Json toJson() const;
    static ImpactWindow fromJson(const Json& j);
};

// A story: one plain-language account of a memory event.
struct TimelineEvent {
    Uuid id;
    Date timestamp;
    TimelineEventKind kind = TimelineEventKind::largeDelta;
    std::string title;
    std::string explanation;
    std::optional<ConfidenceLevel> confidence;
    std::optional<ProcessIdentity> relatedApp;
    std::optional<std::uint64_t> baselineFootprintBytes;
    std::optional<ImpactWindow> immediate;
    std::optional<ImpactWindow> settled;
    std::optional<ImpactWindow> longerTerm;
    std::optional<SystemMemorySnapshot> systemContext;
    std::vector<Uuid> linkedActivityIDs;  // most relevant first
    bool isPendingWindows = false;
    SensorSource primarySource = SensorSource::unknown;
    std::vector<SensorSource> supportingSources;

    bool operator==(const TimelineEvent&) const = default;

    static constexpr auto jsonFields = std::tuple{
        jsonField("id", &TimelineEvent::id),
        jsonField("timestamp", &TimelineEvent::timestamp),
        jsonField("kind", &TimelineEvent::kind),
        jsonField("title", &TimelineEvent::title),
        jsonField("explanation", &TimelineEvent::explanation),
        jsonField("confidence", &TimelineEvent::confidence),
        jsonField("relatedApp", &TimelineEvent::relatedApp),
        jsonField("baselineFootprintBytes", &TimelineEvent::baselineFootprintBytes),
        jsonField("immediate", &TimelineEvent::immediate),
        jsonField("settled", &TimelineEvent::settled),
        jsonField("longerTerm", &TimelineEvent::longerTerm),
        jsonField("systemContext", &TimelineEvent::systemContext),
        jsonField("linkedActivityIDs", &TimelineEvent::linkedActivityIDs),
        jsonField("isPendingWindows", &TimelineEvent::isPendingWindows),
        jsonField("primarySource", &TimelineEvent::primarySource),
        jsonField("supportingSources", &TimelineEvent::supportingSources),
    };
    Json toJson() const;
    static TimelineEvent fromJson(const Json& j);
};

}  // namespace velmora

template <>
struct std::hash<velmora::ImpactWindow> {
    std::size_t operator()(const velmora::ImpactWindow& w) const noexcept {
        // 0.0 and -0.0 compare equal, so they must hash alike.
        const double duration = w.duration == 0 ? 0.0 : w.duration;
        std::size_t h = std::hash<std::int64_t>{}(w.deltaBytes);
        auto mix = [&h](std::size_t v) { h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
        mix(std::hash<double>{}(duration));
        mix(w.peakBytes ? std::hash<std::uint64_t>{}(*w.peakBytes) + 1 : 0);
        mix(w.endFootprintBytes ? std::hash<std::uint64_t>{}(*w.endFootprintBytes) + 1 : 0);
        return h;
    }
};
