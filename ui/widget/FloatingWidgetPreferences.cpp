#include "ui/widget/FloatingWidgetPreferences.h"

#include <algorithm>

#include "platform/DefaultsStore.h"

namespace velmora {

Json FloatingWidgetPreferences::toJson() const {
    Json j = Json::object();
    putOptional(j, "pinnedAppKey", pinnedAppKey);
    j["isCompact"] = isCompact;
    j["placement"] = encode(placement);
    j["autoCollapseDock"] = autoCollapseDock;
    j["showSystemMemory"] = showSystemMemory;
    j["trendRangeMinutes"] = trendRangeMinutes;
    j["wasVisible"] = wasVisible;
    return j;
}

FloatingWidgetPreferences FloatingWidgetPreferences::fromJson(const Json& j) {
    FloatingWidgetPreferences p;
    p.pinnedAppKey = optional<std::string>(j, "pinnedAppKey");
    p.isCompact = require<bool>(j, "isCompact");
    p.placement = require<WidgetPlacement>(j, "placement");
    p.autoCollapseDock = require<bool>(j, "autoCollapseDock");
    p.showSystemMemory = require<bool>(j, "showSystemMemory");
    p.trendRangeMinutes = std::clamp<std::int64_t>(require<std::int64_t>(j, "trendRangeMinutes"), 5, 120);
    p.wasVisible = require<bool>(j, "wasVisible");
    return p;
}

FloatingWidgetPreferences FloatingWidgetPreferences::load(const DefaultsStore& defaults) {
    const auto stored = defaults.value(std::string(key));
    if (!stored) return {};
    try {
        return fromJson(*stored);
    } catch (const DecodeError&) {
        return {};
    }
}

void FloatingWidgetPreferences::save(DefaultsStore& defaults) const { defaults.setValue(std::string(key), toJson()); }

}  // namespace velmora
