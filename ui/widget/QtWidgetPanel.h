#pragma once
#include "ui/widget/WidgetPanel.h"

namespace velmora {

// Widget panels as frameless, always-on-top utility windows that never take focus and show on
// every workspace. Each hosts the widget's card.
class QtWidgetWindowing final : public WidgetWindowing {
public:
    std::unique_ptr<WidgetPanel> makePanel(const WidgetRect& frame, bool floating) override;
    std::vector<WidgetScreen> screens() const override;
};

}  // namespace velmora
