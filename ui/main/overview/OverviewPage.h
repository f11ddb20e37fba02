#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "ui/main/Page.h"

class QLabel;

namespace velmora {

class AppState;
class ElidedLabel;
class SegmentedPicker;
class SystemPressureStrip;

// What uses memory right now: the pressure strip, a stacked bar and rows by category, and the
// apps that moved most over 15, 30 or 60 minutes. Rows are pooled: built once, filled per tick.
class OverviewPage final : public Page {
public:
    explicit OverviewPage(AppState& state, QWidget* parent = nullptr);
    void refresh() override;
    void startOver() override;

    int moversMinutes() const { return moversMinutes_; }
    SegmentedPicker* picker() const { return picker_; }

    class StackedBar;

private:
    struct CategoryRowWidgets {
        QWidget* row = nullptr;
        QWidget* icon = nullptr;
        QLabel* title = nullptr;
        ElidedLabel* members = nullptr;
        QLabel* bytes = nullptr;
        QLabel* share = nullptr;
        QWidget* divider = nullptr;
    };
    struct MoverRowWidgets {
        QWidget* row = nullptr;
        QLabel* arrow = nullptr;
        ElidedLabel* name = nullptr;
        QLabel* now = nullptr;
        QLabel* delta = nullptr;
        QWidget* divider = nullptr;
    };

    AppState& state_;
    int moversMinutes_ = 30;
    SystemPressureStrip* strip_ = nullptr;
    QLabel* waiting_ = nullptr;
    StackedBar* bar_ = nullptr;
    std::array<CategoryRowWidgets, 9> categoryRows_{};
    SegmentedPicker* picker_ = nullptr;
    QLabel* moversSentence_ = nullptr;
    QLabel* nothingMoved_ = nullptr;
    std::array<MoverRowWidgets, 8> moverRows_{};
};

}  // namespace velmora
