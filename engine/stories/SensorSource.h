#pragma once
#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "engine/support/Json.h"

namespace velmora {

// Every kind of evidence a story or a developer log line can rest on.
enum class SensorSource {
    memorySampler,
    significantChange,
    browserSession,
    sustainedGrowth,
    measureMode,
    workspace,
    accessibility,
    windowList,
    appleScript,
    chromiumExtension,
    screenshotOCR,
    cloudVision,
    systemPressure,
    unknown,
};

template <>
struct EnumNames<SensorSource> {
    static constexpr std::array<std::string_view, 14> names{
        "memorySampler", "significantChange", "browserSession", "sustainedGrowth", "measureMode",
        "workspace",     "accessibility",     "windowList",     "appleScript",     "chromiumExtension",
        "screenshotOCR", "cloudVision",       "systemPressure", "unknown"};
};

// Short text for badges.
std::string_view label(SensorSource source);
// One line for the developer view.
std::string_view explanation(SensorSource source);

// One line of the in-memory developer sensor log.
struct SensorLogEntry {
    Uuid id;
    Date timestamp;
    SensorSource source = SensorSource::unknown;
    std::string summary;
    std::optional<std::string> appName;
    std::optional<std::string> detail;

    bool operator==(const SensorLogEntry&) const = default;

    static constexpr auto jsonFields = std::tuple{
        jsonField("id", &SensorLogEntry::id),           jsonField("timestamp", &SensorLogEntry::timestamp),
        jsonField("source", &SensorLogEntry::source),   jsonField("summary", &SensorLogEntry::summary),
        jsonField("appName", &SensorLogEntry::appName), jsonField("detail", &SensorLogEntry::detail)};
    Json toJson() const;
    static SensorLogEntry fromJson(const Json& j);
};

}  // namespace velmora
