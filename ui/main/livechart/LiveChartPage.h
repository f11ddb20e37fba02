#pragma once
#include <array>
#include <map>
#include <string>
#include <vector>

#include "ui/main/Page.h"

class QChart;
class QChartView;
class QCategoryAxis;
class QLabel;
class QLineSeries;
class QValueAxis;

namespace velmora {

class AppState;
class ElidedLabel;
class SegmentedPicker;

// The heaviest apps' memory as lines over 30, 60 or 120 minutes, with a legend of their sizes.
// The chart is built once; each app's line (one per grouping key) is refilled with replace().
class LiveChartPage final : public Page {
public:
    static constexpr int maxSeries = 6;
    static constexpr int maxPointsPerSeries = 240;

    explicit LiveChartPage(AppState& state, QWidget* parent = nullptr);
    void refresh() override;
    void startOver() override;

    int rangeMinutes() const { return rangeMinutes_; }
    SegmentedPicker* picker() const { return picker_; }
    // The line drawn for a grouping key, if any (for tests: the same object tick after tick).
    QLineSeries* seriesFor(const std::string& key) const;
    QChart* chart() const { return chart_; }

private:
    struct LegendRow {
        QWidget* row = nullptr;
        QWidget* dot = nullptr;
        ElidedLabel* name = nullptr;
        QLabel* current = nullptr;
        QLabel* delta = nullptr;
        QWidget* divider = nullptr;
    };

    AppState& state_;
    int rangeMinutes_ = 30;
    SegmentedPicker* picker_ = nullptr;
    QWidget* empty_ = nullptr;
    QWidget* chartCard_ = nullptr;
    QChartView* chartView_ = nullptr;
    QChart* chart_ = nullptr;
    QCategoryAxis* timeAxis_ = nullptr;
    std::vector<double> marks_;  // the time axis's labelled seconds
    QValueAxis* memoryAxis_ = nullptr;
    QWidget* legend_ = nullptr;
    std::array<LegendRow, maxSeries> rows_{};
    std::map<std::string, QLineSeries*> series_;
};

}  // namespace velmora
