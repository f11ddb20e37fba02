#pragma once
#include "ui/main/Page.h"
#include "ui/main/heavy/HeavyRules.h"

class QCheckBox;
class QListView;

namespace velmora {

class AppState;
class HeavyAppsModel;
class SegmentedPicker;
class SystemPressureStrip;

// The 25 heaviest apps with their live sizes and, with charts on, a sparkline and a change badge.
class HeavyPage final : public Page {
public:
    explicit HeavyPage(AppState& state, QWidget* parent = nullptr);
    void refresh() override;
    void startOver() override;

    HeavyAppsModel* model() const { return model_; }
    QListView* list() const { return list_; }
    QCheckBox* chartsToggle() const { return charts_; }
    SegmentedPicker* picker() const { return picker_; }

private:
    AppState& state_;
    HeavyRange range_ = HeavyRange::fiveMinutes;
    SystemPressureStrip* strip_ = nullptr;
    QCheckBox* charts_ = nullptr;
    SegmentedPicker* picker_ = nullptr;
    HeavyAppsModel* model_ = nullptr;
    QListView* list_ = nullptr;
};

}  // namespace velmora
