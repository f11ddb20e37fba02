#pragma once
#include <functional>

namespace velmora {

// The always-on-top widget panel; the toolkit side owns the window and the widget preferences.
class FloatingWidget {
public:
    virtual ~FloatingWidget() = default;
    // True exactly while the panel exists.
    virtual bool hasPanel() const = 0;
    // Builds and shows the panel, remembers it as visible, reports true through onVisibilityChange.
    virtual void show() = 0;
    // Drops the panel, remembers it as hidden, reports false through onVisibilityChange.
    virtual void hide() = 0;
    // Corner 0 top-left, 1 top-right, 2 bottom-left, 3 bottom-right; shows the panel first.
    virtual void moveToCorner(int corner) = 0;
    // Whether the widget was visible when the application last ran.
    virtual bool wasVisibleAtLastRun() const = 0;

    std::function<void(bool visible)> onVisibilityChange;
};

}  // namespace velmora
