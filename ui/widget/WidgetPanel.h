#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace velmora {

// A rectangle in screen pixels; y grows downward, as on X11 and in Qt.
struct WidgetRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    int right() const { return x + width; }
    int bottom() const { return y + height; }
    bool intersects(const WidgetRect& o) const {
        return x < o.right() && o.x < right() && y < o.bottom() && o.y < bottom();
    }
    bool operator==(const WidgetRect&) const = default;
};

// One connected screen: `available` leaves out panels and docks of the desktop.
struct WidgetScreen {
    WidgetRect geometry;
    WidgetRect available;
    bool operator==(const WidgetScreen&) const = default;
};

// The window that hosts the widget: frameless, above other windows, on every workspace, never
// taking focus.
class WidgetPanel {
public:
    virtual ~WidgetPanel() = default;
    virtual WidgetRect frame() const = 0;
    virtual void setFrame(const WidgetRect& frame, bool animated) = 0;
    virtual void bringToFront() = 0;
    // Takes it off the screen; the owner drops it afterwards.
    virtual void orderOut() = 0;
    // The screen that holds most of it, if any.
    virtual std::optional<WidgetScreen> screen() const = 0;

    // Each runs on the main thread in an event-loop turn of its own, never inside a call above.
    std::function<void(bool inside)> onHoverChange;
    std::function<void()> onClosedBySystem;  // closed by the window manager, not by orderOut
    std::function<void()> onMovedByUser;
};

// Builds panels and knows the screens.
class WidgetWindowing {
public:
    virtual ~WidgetWindowing() = default;
    virtual std::unique_ptr<WidgetPanel> makePanel(const WidgetRect& frame, bool floating) = 0;
    // The connected screens, the main (primary) one first; empty with none.
    virtual std::vector<WidgetScreen> screens() const = 0;
};

}  // namespace velmora
