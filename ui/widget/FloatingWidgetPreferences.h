#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/support/Json.h"

namespace velmora {

class DefaultsStore;

enum class WidgetPlacement { floating, dockedTop, dockedBottom };

template <>
struct EnumNames<WidgetPlacement> {
    static constexpr std::array<std::string_view, 3> names{"floating", "dockedTop", "dockedBottom"};
};

// The widget's whole configuration, one JSON value in the defaults. Nobody keeps a shared copy:
// readers load afresh and writers store a whole record.
struct FloatingWidgetPreferences {
    static constexpr std::string_view key = "Velmora.FloatingWidgetPreferences";

    std::optional<std::string> pinnedAppKey;
    bool isCompact = false;
    WidgetPlacement placement = WidgetPlacement::floating;
    bool autoCollapseDock = true;
    bool showSystemMemory = true;
    std::int64_t trendRangeMinutes = 15;
    bool wasVisible = false;

    bool operator==(const FloatingWidgetPreferences&) const = default;

    static constexpr auto jsonFields = std::tuple{
        jsonField("pinnedAppKey", &FloatingWidgetPreferences::pinnedAppKey),
        jsonField("isCompact", &FloatingWidgetPreferences::isCompact),
        jsonField("placement", &FloatingWidgetPreferences::placement),
        jsonField("autoCollapseDock", &FloatingWidgetPreferences::autoCollapseDock),
        jsonField("showSystemMemory", &FloatingWidgetPreferences::showSystemMemory),
        jsonField("trendRangeMinutes", &FloatingWidgetPreferences::trendRangeMinutes),
        jsonField("wasVisible", &FloatingWidgetPreferences::wasVisible)};
    Json toJson() const;
    // Strict: every key but the pin is required and typed. The trend range is clamped to what the
    // history holds (5...120 minutes), so a stored negative or huge value cannot break the trend.
    static FloatingWidgetPreferences fromJson(const Json& j);

    // The stored record, or the defaults when it is absent or does not decode.
    static FloatingWidgetPreferences load(const DefaultsStore& defaults);
    void save(DefaultsStore& defaults) const;
};

}  // namespace velmora
