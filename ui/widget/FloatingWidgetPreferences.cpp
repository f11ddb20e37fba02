#include "ui/widget/FloatingWidgetPreferences.h"

#include <algorithm>

#include "platform/DefaultsStore.h"

namespace velmora {

Json FloatingWidgetPreferences::toJson() const { return encodeFields(*this); }

FloatingWidgetPreferences FloatingWidgetPreferences::fromJson(const Json& j) {
    FloatingWidgetPreferences p = decodeFields<FloatingWidgetPreferences>(j);
    p.trendRangeMinutes = std::clamp<std::int64_t>(p.trendRangeMinutes, 5, 120);
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
