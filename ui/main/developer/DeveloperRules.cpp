#include "ui/main/developer/DeveloperRules.h"

#include <cmath>
#include <ctime>

#include "engine/stories/Phrasing.h"

namespace velmora::developer {

std::vector<StatusRow> pipelineRows(const PipelineInputs& in) {
    const auto granted = [](bool g) { return std::string(g ? "Granted" : "Not granted"); };
    return {
        {"Memory sampling", in.samplerRunning ? "On 1 Hz" : "Off"},
        {"Automation (browser scripting)", in.lastSource == std::optional<std::string>("Automation") ? "Active" : "Idle"},
        {"Window list", "Running"},
        {"Extension bridge", in.bridgeRunning ? "On :" + std::to_string(in.bridgePort) : "Off"},
        {"Accessibility", granted(in.accessibilityGranted)},
        {"Screen capture", granted(in.screenRecordingGranted)},
        {"Last page sensor", in.lastSource.value_or("\u2014")},
        {"Last page", in.lastTitle.value_or("\u2014")},
    };
}

std::optional<std::string> bridgeErrorLine(const std::optional<std::string>& bridgeError) {
    if (!bridgeError) return std::nullopt;
    return "Bridge error: " + *bridgeError;
}

std::optional<std::string> probeErrorLine(const std::optional<std::string>& lastError,
                                          const std::optional<std::string>& lastTitle) {
    if (!lastError || lastTitle) return std::nullopt;
    return lastError;
}

std::vector<SensorSource> explainedSources() {
    std::vector<SensorSource> out;
    for (int i = 0; i < static_cast<int>(SensorSource::unknown); ++i) out.push_back(static_cast<SensorSource>(i));
    return out;
}

std::string feedTime(Date timestamp) {
    const double unix = std::floor(timestamp.secondsSince2001 + Date::unixOffset);
    if (!std::isfinite(unix)) return "--:--:--";
    const std::time_t seconds = static_cast<std::time_t>(unix);
    std::tm local{};
    if (!::localtime_r(&seconds, &local)) return "--:--:--";
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

std::vector<SensorSource> storyBadges(const TimelineEvent& story) {
    std::vector<SensorSource> out{story.primarySource};
    for (std::size_t i = 0; i < story.supportingSources.size() && i < 3; ++i) out.push_back(story.supportingSources[i]);
    return out;
}

std::optional<std::string> storyChangeLine(const TimelineEvent& story) {
    if (story.kind == TimelineEventKind::pressureChanged || story.kind == TimelineEventKind::swapSpike)
        return std::nullopt;
    for (const auto* window : {&story.settled, &story.immediate, &story.longerTerm})
        if (*window) return formatSignedBytes((*window)->deltaBytes);
    return std::nullopt;
}

std::string pathStatus(bool temporaryBuild) {
    return temporaryBuild ? "\u26A0\uFE0F build folder (unstable for permissions)" : "Stable location";
}

}  // namespace velmora::developer
