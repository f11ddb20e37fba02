#pragma once
// What the Developer page shows, worked out from the application state without any toolkit.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/stories/SensorSource.h"
#include "engine/stories/TimelineEvent.h"
#include "engine/support/Date.h"

namespace velmora::developer {

struct StatusRow {
    std::string label;
    std::string value;
    bool operator==(const StatusRow&) const = default;
};

// The values the pipeline rows are drawn from.
struct PipelineInputs {
    bool samplerRunning = false;
    std::optional<std::string> lastSource;
    std::optional<std::string> lastTitle;
    bool bridgeRunning = false;
    std::uint16_t bridgePort = 0;
    bool accessibilityGranted = false;
    bool screenRecordingGranted = false;
};

// The eight "Pipeline status" rows, in order.
std::vector<StatusRow> pipelineRows(const PipelineInputs& in);
// "Bridge error: …" whenever the bridge holds an error, running or not.
std::optional<std::string> bridgeErrorLine(const std::optional<std::string>& bridgeError);
// The probe's error is shown only while no page title is known.
std::optional<std::string> probeErrorLine(const std::optional<std::string>& lastError,
                                          const std::optional<std::string>& lastTitle);

// Every source but `unknown`, in case order.
std::vector<SensorSource> explainedSources();

// A feed entry's time, "HH:mm:ss" on the 24-hour clock in the local time zone.
std::string feedTime(Date timestamp);

// The badges of a story: its primary source, then the first three supporting ones.
std::vector<SensorSource> storyBadges(const TimelineEvent& story);
// The signed change of the first window present (settled, immediate, longer term); none for
// pressure and swap stories or when every window is absent.
std::optional<std::string> storyChangeLine(const TimelineEvent& story);
// The newest stories the page lists (the store keeps them newest first).
constexpr std::size_t recentStoryLimit = 20;

// The line under the application's path.
std::string pathStatus(bool temporaryBuild);

}  // namespace velmora::developer
