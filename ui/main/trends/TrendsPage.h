#pragma once
#include <array>
#include <string>

#include "ui/main/Page.h"

class QBarSet;
class QBarSeries;
class QCategoryAxis;
class QChart;
class QLabel;
class QValueAxis;

namespace velmora {

class AppState;
class ElidedLabel;
class SegmentedPicker;

// Stories and pressure minutes per day over 7, 30 or 90 days, and the apps that grew the most.
class TrendsPage final : public Page {
public:
    explicit TrendsPage(AppState& state, QWidget* parent = nullptr);
    void refresh() override;
    void startOver() override;

    int rangeDays() const { return rangeDays_; }
    SegmentedPicker* picker() const { return picker_; }
    QBarSet* storiesBars() const { return stories_.set; }
    QBarSet* minutesBars() const { return minutes_.set; }

    struct BarChart {
        QChart* chart = nullptr;
        QBarSeries* series = nullptr;
        QBarSet* set = nullptr;
        QCategoryAxis* days = nullptr;
        QValueAxis* values = nullptr;
        int bars = -1;
        std::string lastDay;  // the date key the day labels end on
        int intervals = 4;
    };

private:
    struct OffenderRow {
        QWidget* row = nullptr;
        ElidedLabel* name = nullptr;
        QLabel* stories = nullptr;
        QLabel* growth = nullptr;
        QWidget* divider = nullptr;
    };

    AppState& state_;
    int rangeDays_ = 30;
    SegmentedPicker* picker_ = nullptr;
    QLabel* summary_ = nullptr;
    QLabel* tight_ = nullptr;
    QWidget* empty_ = nullptr;
    QWidget* storiesSection_ = nullptr;
    QWidget* minutesSection_ = nullptr;
    QWidget* offendersSection_ = nullptr;
    QLabel* offendersCaption_ = nullptr;
    QLabel* noOffenders_ = nullptr;
    BarChart stories_;
    BarChart minutes_;
    std::array<OffenderRow, 8> rows_{};
};

}  // namespace velmora
