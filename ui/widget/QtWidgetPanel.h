#pragma once
#include "ui/widget/WidgetPanel.h"

namespace velmora {

class AppStateAdapter;
class FloatingWidgetController;

// Widget panels as frameless, always-on-top utility windows that never take focus and show on
// every workspace. Each hosts the widget's card.
class QtWidgetWindowing final : public WidgetWindowing {
public:
    // Panels made from now on host the widget's view over this state; before, an empty card.
    void attach(AppStateAdapter& adapter, FloatingWidgetController& controller) {
        adapter_ = &adapter;
        controller_ = &controller;
    }
    std::unique_ptr<WidgetPanel> makePanel(const WidgetRect& frame, bool floating) override;
    std::vector<WidgetScreen> screens() const override;
    // Whether a compositing manager runs on this display (it owns _NET_WM_CM_S0): only then can
    // the panel's corners be see-through; without one they are cut off with a mask.
    static bool compositing();

private:
    AppStateAdapter* adapter_ = nullptr;
    FloatingWidgetController* controller_ = nullptr;
};

}  // namespace velmora
