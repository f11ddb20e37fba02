#pragma once
#include "ui/main/Page.h"

namespace velmora {

class AppState;
class SystemPressureStrip;

// The overview: so far its title and the pressure strip that heads it.
class OverviewPage final : public Page {
public:
    explicit OverviewPage(AppState& state, QWidget* parent = nullptr);
    void refresh() override;

private:
    AppState& state_;
    SystemPressureStrip* strip_;
};

}  // namespace velmora
