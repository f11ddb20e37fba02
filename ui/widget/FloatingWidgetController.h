#pragma once
#include <optional>
#include <string_view>

#include "platform/FloatingWidget.h"
#include "platform/Scheduler.h"
#include "ui/widget/FloatingWidgetPreferences.h"
#include "ui/widget/WidgetPanel.h"

namespace velmora {

class DefaultsStore;

// Widget sizes and places, in screen pixels with y growing downward (so "top" is the small y).
WidgetRect widgetPanelSize(const FloatingWidgetPreferences& prefs, bool dockCollapsed);
WidgetRect dockedWidgetFrame(WidgetPlacement placement, bool collapsed, const WidgetRect& available);
// The origin of a w × h card 24 pixels inside corner 0 top-left, 1 top-right, 2 bottom-left, 3 bottom-right.
WidgetRect widgetCornerFrame(int corner, int width, int height, const WidgetRect& available);
// A saved frame that meets no connected screen (its monitor was removed) moved into the available
// area of the nearest screen; any other frame unchanged.
WidgetRect frameOnAScreen(const WidgetRect& frame, const std::vector<WidgetScreen>& screens);

// Owns at most one widget panel: opens and closes it, places it by the stored preferences, snaps a
// floating card to a corner, and collapses a docked bar to a strip when the pointer leaves it.
class FloatingWidgetController final : public FloatingWidget {
public:
    static constexpr std::string_view frameKey = "VelmoraFloatingWidget";
    static constexpr double collapseDelaySeconds = 0.5;

    FloatingWidgetController(WidgetWindowing& windowing, DefaultsStore& defaults, Scheduler& scheduler);
    ~FloatingWidgetController() override;

    bool hasPanel() const override { return panel_ != nullptr; }
    void show() override;
    void hide() override;
    void moveToCorner(int corner) override;
    bool wasVisibleAtLastRun() const override;
    // Critical memory holds a docked bar expanded.
    void setCriticalMemoryOverride(bool on);
    // The widget's settings are open: a docked bar stays expanded under them (opening them takes
    // the pointer away from the bar, which would otherwise read as the pointer leaving).
    void setSettingsOpen(bool open);

    WidgetPanel* panel() const { return panel_.get(); }
    bool isVisible() const { return isVisible_; }
    bool isDockCollapsed() const { return isDockCollapsed_; }
    bool isHovering() const { return isHovering_; }
    bool isCriticalMemoryOverride() const { return isCriticalMemoryOverride_; }
    bool isSettingsOpen() const { return isSettingsOpen_; }

private:
    void hoverChanged(bool inside);
    void closedBySystem(WidgetPanel* which);
    void setDockCollapsed(bool collapsed, WidgetPlacement placement);
    void scheduleCollapse(WidgetPlacement placement);
    void cancelCollapse();
    std::optional<WidgetScreen> panelScreen() const;
    std::optional<WidgetRect> savedFrame() const;
    void saveFrame();

    WidgetWindowing& windowing_;
    DefaultsStore& defaults_;
    Scheduler& scheduler_;
    std::unique_ptr<WidgetPanel> panel_;
    bool isVisible_ = false;
    bool isDockCollapsed_ = false;
    bool isHovering_ = false;
    bool isCriticalMemoryOverride_ = false;
    bool isSettingsOpen_ = false;
    bool autosaving_ = false;  // the card's moves are stored under frameKey
    Scheduler::TimerId collapseTimer_ = 0;
};

}  // namespace velmora
