#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "ui/widget/FloatingWidgetPreferences.h"

namespace velmora {

class DefaultsStore;
class FloatingWidgetController;
class Scheduler;

// What each control of the widget's settings does. Every change reads the stored record afresh
// and changes only its own field, so a value written since the view was built (the widget
// remembering it is open, say) is never overwritten with an old copy. Each returns the record
// now stored, for the view's own copy.
class WidgetSettings {
public:
    WidgetSettings(DefaultsStore& defaults, FloatingWidgetController& controller, Scheduler& scheduler)
        : defaults_(defaults), controller_(controller), scheduler_(scheduler) {}

    FloatingWidgetPreferences setPinnedApp(const std::optional<std::string>& key);
    // Rebuilds the panel in a later turn while the widget is visible: the control that asked
    // belongs to the panel, which must outlive the control's own signal.
    FloatingWidgetPreferences setPlacement(WidgetPlacement placement);
    FloatingWidgetPreferences setAutoCollapseDock(bool on);
    // Resize the open card in place, keeping its top-left corner.
    FloatingWidgetPreferences setCompact(bool on);
    FloatingWidgetPreferences setShowSystemMemory(bool on);
    FloatingWidgetPreferences setTrendRangeMinutes(std::int64_t minutes);

private:
    FloatingWidgetPreferences change(const std::function<void(FloatingWidgetPreferences&)>& edit);
    void rebuildLater();
    void resizeCard(const FloatingWidgetPreferences& prefs);

    DefaultsStore& defaults_;
    FloatingWidgetController& controller_;
    Scheduler& scheduler_;
};

}  // namespace velmora
