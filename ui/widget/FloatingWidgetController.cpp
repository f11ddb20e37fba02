#include "ui/widget/FloatingWidgetController.h"

#include <algorithm>
#include <limits>

#include "platform/DefaultsStore.h"

namespace velmora {

namespace {

constexpr int cornerInset = 24;
constexpr int dockWidth = 800;

bool isFloating(const FloatingWidgetPreferences& prefs) { return prefs.placement == WidgetPlacement::floating; }

long long distanceSquared(int px, int py, const WidgetRect& r) {
    const long long dx = std::max({r.x - px, 0, px - r.right()});
    const long long dy = std::max({r.y - py, 0, py - r.bottom()});
    return dx * dx + dy * dy;
}

int clampInto(int start, int length, int areaStart, int areaLength) {
    if (length >= areaLength) return areaStart;
    return std::clamp(start, areaStart, areaStart + areaLength - length);
}

}  // namespace

WidgetRect widgetPanelSize(const FloatingWidgetPreferences& prefs, bool dockCollapsed) {
    if (!isFloating(prefs)) return {0, 0, dockWidth, dockCollapsed ? 10 : 84};
    if (prefs.isCompact) return {0, 0, 230, 130};
    return {0, 0, 300, prefs.showSystemMemory ? 318 : 260};
}

WidgetRect dockedWidgetFrame(WidgetPlacement placement, bool collapsed, const WidgetRect& available) {
    const int height = collapsed ? 10 : 84;
    const int x = available.x + available.width / 2 - dockWidth / 2;
    const int y = placement == WidgetPlacement::dockedTop ? available.y : available.bottom() - height;
    return {x, y, dockWidth, height};
}

WidgetRect widgetCornerFrame(int corner, int width, int height, const WidgetRect& available) {
    const bool left = corner == 0 || corner == 2;
    const bool top = corner == 0 || corner == 1;
    return {left ? available.x + cornerInset : available.right() - width - cornerInset,
            top ? available.y + cornerInset : available.bottom() - height - cornerInset, width, height};
}

WidgetRect frameOnAScreen(const WidgetRect& frame, const std::vector<WidgetScreen>& screens) {
    if (screens.empty()) return frame;
    for (const auto& s : screens)
        if (s.geometry.intersects(frame)) return frame;
    const int cx = frame.x + frame.width / 2;
    const int cy = frame.y + frame.height / 2;
    const WidgetScreen* nearest = &screens.front();
    long long best = std::numeric_limits<long long>::max();
    for (const auto& s : screens) {
        const long long d = distanceSquared(cx, cy, s.available);
        if (d < best) {
            best = d;
            nearest = &s;
        }
    }
    const WidgetRect& a = nearest->available;
    return {clampInto(frame.x, frame.width, a.x, a.width), clampInto(frame.y, frame.height, a.y, a.height), frame.width,
            frame.height};
}

FloatingWidgetController::FloatingWidgetController(WidgetWindowing& windowing, DefaultsStore& defaults,
                                                   Scheduler& scheduler)
    : windowing_(windowing), defaults_(defaults), scheduler_(scheduler) {}

FloatingWidgetController::~FloatingWidgetController() { cancelCollapse(); }

void FloatingWidgetController::show() {
    if (panel_) {
        panel_->bringToFront();
        return;
    }
    const auto prefs = FloatingWidgetPreferences::load(defaults_);
    const bool floating = isFloating(prefs);
    // A new panel starts with the pointer outside and no override: old flags would hold a bar open.
    isHovering_ = false;
    isCriticalMemoryOverride_ = false;
    isSettingsOpen_ = false;
    isDockCollapsed_ = prefs.autoCollapseDock && !floating;
    const WidgetRect size = widgetPanelSize(prefs, isDockCollapsed_);

    panel_ = windowing_.makePanel(size, floating);
    WidgetPanel* made = panel_.get();
    made->onHoverChange = [this](bool inside) { hoverChanged(inside); };
    made->onClosedBySystem = [this, made] { closedBySystem(made); };
    made->onMovedByUser = [this] {
        if (autosaving_) saveFrame();
    };

    const auto screens = windowing_.screens();
    autosaving_ = false;
    if (!floating) {
        if (!screens.empty())
            panel_->setFrame(dockedWidgetFrame(prefs.placement, isDockCollapsed_, screens.front().available), false);
    } else if (auto saved = savedFrame()) {
        panel_->setFrame(frameOnAScreen({saved->x, saved->y, size.width, size.height}, screens), false);
        autosaving_ = true;
    } else {
        autosaving_ = true;
        moveToCorner(1);
    }

    panel_->bringToFront();
    isVisible_ = true;
    if (onVisibilityChange) onVisibilityChange(true);
    auto again = FloatingWidgetPreferences::load(defaults_);
    if (!again.wasVisible) {
        again.wasVisible = true;
        again.save(defaults_);
    }
}

void FloatingWidgetController::hide() {
    cancelCollapse();
    if (panel_) panel_->orderOut();
    panel_.reset();
    autosaving_ = false;
    isVisible_ = false;
    if (onVisibilityChange) onVisibilityChange(false);
    auto prefs = FloatingWidgetPreferences::load(defaults_);
    if (prefs.wasVisible) {
        prefs.wasVisible = false;
        prefs.save(defaults_);
    }
}

void FloatingWidgetController::closedBySystem(WidgetPanel* which) {
    if (which != panel_.get()) return;
    // Released, and the preferences keep wasVisible so the widget comes back at the next start.
    cancelCollapse();
    isVisible_ = false;
    if (onVisibilityChange) onVisibilityChange(false);
    panel_.reset();
    autosaving_ = false;
}

void FloatingWidgetController::moveToCorner(int corner) {
    if (corner < 0 || corner > 3) return;
    if (!panel_) show();
    if (!panel_) return;
    const auto screen = panelScreen();
    if (!screen) return;
    if (!isFloating(FloatingWidgetPreferences::load(defaults_))) return;
    const WidgetRect f = panel_->frame();
    panel_->setFrame(widgetCornerFrame(corner, f.width, f.height, screen->available), false);
    if (autosaving_) saveFrame();
}

bool FloatingWidgetController::wasVisibleAtLastRun() const {
    return FloatingWidgetPreferences::load(defaults_).wasVisible;
}

void FloatingWidgetController::hoverChanged(bool inside) {
    isHovering_ = inside;
    const auto prefs = FloatingWidgetPreferences::load(defaults_);
    if (isFloating(prefs) || !prefs.autoCollapseDock) return;
    cancelCollapse();
    if (inside) {
        setDockCollapsed(false, prefs.placement);
        return;
    }
    if (!isCriticalMemoryOverride_ && !isSettingsOpen_) scheduleCollapse(prefs.placement);
}

void FloatingWidgetController::setSettingsOpen(bool open) {
    if (isSettingsOpen_ == open) return;
    isSettingsOpen_ = open;
    const auto prefs = FloatingWidgetPreferences::load(defaults_);
    if (isFloating(prefs) || !prefs.autoCollapseDock) return;
    cancelCollapse();
    if (open) setDockCollapsed(false, prefs.placement);
    else if (!isHovering_ && !isCriticalMemoryOverride_) scheduleCollapse(prefs.placement);
}

void FloatingWidgetController::setCriticalMemoryOverride(bool on) {
    if (isCriticalMemoryOverride_ == on) return;
    isCriticalMemoryOverride_ = on;
    const auto prefs = FloatingWidgetPreferences::load(defaults_);
    if (isFloating(prefs)) return;
    cancelCollapse();
    if (on) setDockCollapsed(false, prefs.placement);
    else if (!isHovering_ && !isSettingsOpen_ && prefs.autoCollapseDock) scheduleCollapse(prefs.placement);
}

void FloatingWidgetController::setDockCollapsed(bool collapsed, WidgetPlacement placement) {
    if (!panel_ || isDockCollapsed_ == collapsed) return;
    isDockCollapsed_ = collapsed;
    if (auto screen = panelScreen()) panel_->setFrame(dockedWidgetFrame(placement, collapsed, screen->available), true);
}

void FloatingWidgetController::scheduleCollapse(WidgetPlacement placement) {
    // Cancelled by the destructor, so the action never outlives the controller.
    collapseTimer_ = scheduler_.scheduleOnce(collapseDelaySeconds, [this, placement] {
        collapseTimer_ = 0;
        if (!panel_ || isDockCollapsed_) return;
        isDockCollapsed_ = true;
        if (auto screen = panelScreen()) panel_->setFrame(dockedWidgetFrame(placement, true, screen->available), true);
    });
}

void FloatingWidgetController::cancelCollapse() {
    if (collapseTimer_) scheduler_.cancel(collapseTimer_);
    collapseTimer_ = 0;
}

std::optional<WidgetScreen> FloatingWidgetController::panelScreen() const {
    if (panel_)
        if (auto own = panel_->screen()) return own;
    const auto screens = windowing_.screens();
    if (screens.empty()) return std::nullopt;
    return screens.front();
}

std::optional<WidgetRect> FloatingWidgetController::savedFrame() const {
    const auto stored = defaults_.value(std::string(frameKey));
    if (!stored) return std::nullopt;
    try {
        return WidgetRect{require<int>(*stored, "x"), require<int>(*stored, "y"), require<int>(*stored, "width"),
                          require<int>(*stored, "height")};
    } catch (const DecodeError&) {
        return std::nullopt;
    }
}

void FloatingWidgetController::saveFrame() {
    if (!panel_) return;
    const WidgetRect f = panel_->frame();
    defaults_.setValue(std::string(frameKey), Json{{"x", f.x}, {"y", f.y}, {"width", f.width}, {"height", f.height}});
}

}  // namespace velmora
