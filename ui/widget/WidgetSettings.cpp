#include "ui/widget/WidgetSettings.h"

#include "platform/Scheduler.h"
#include "ui/widget/FloatingWidgetController.h"
#include "ui/widget/WidgetRules.h"

namespace velmora {

FloatingWidgetPreferences WidgetSettings::change(const std::function<void(FloatingWidgetPreferences&)>& edit) {
    auto prefs = FloatingWidgetPreferences::load(defaults_);
    edit(prefs);
    prefs.save(defaults_);
    return prefs;
}

FloatingWidgetPreferences WidgetSettings::setPinnedApp(const std::optional<std::string>& key) {
    return change([&](auto& p) { p.pinnedAppKey = key; });
}

FloatingWidgetPreferences WidgetSettings::setPlacement(WidgetPlacement placement) {
    auto prefs = change([&](auto& p) { p.placement = placement; });
    rebuildLater();
    return prefs;
}

FloatingWidgetPreferences WidgetSettings::setAutoCollapseDock(bool on) {
    auto prefs = change([&](auto& p) { p.autoCollapseDock = on; });
    rebuildLater();
    return prefs;
}

FloatingWidgetPreferences WidgetSettings::setCompact(bool on) {
    auto prefs = change([&](auto& p) { p.isCompact = on; });
    resizeCard(prefs);
    return prefs;
}

FloatingWidgetPreferences WidgetSettings::setShowSystemMemory(bool on) {
    auto prefs = change([&](auto& p) { p.showSystemMemory = on; });
    resizeCard(prefs);
    return prefs;
}

FloatingWidgetPreferences WidgetSettings::setTrendRangeMinutes(std::int64_t minutes) {
    return change([&](auto& p) { p.trendRangeMinutes = minutes; });
}

void WidgetSettings::rebuildLater() {
    if (!controller_.isVisible()) return;
    FloatingWidgetController& controller = controller_;  // lives as long as the process
    scheduler_.post([&controller] {
        if (!controller.isVisible()) return;
        controller.hide();
        controller.show();
    });
}

void WidgetSettings::resizeCard(const FloatingWidgetPreferences& prefs) {
    WidgetPanel* panel = controller_.panel();
    if (!panel) return;
    if (auto frame = cardFrameKeepingTopLeft(panel->frame(), prefs)) panel->setFrame(*frame, true);
}

}  // namespace velmora
