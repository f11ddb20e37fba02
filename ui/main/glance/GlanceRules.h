#pragma once
// What the two glance cards show: the computer's free memory and the heaviest app over the last
// 15 minutes, each with its story ticks. Qt-free.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/ChartStoryMark.h"
#include "ui/style/SparklineGeometry.h"

namespace velmora {

class AppState;

// " " below two values; "flat" when last − first is under 1 MiB either way; else signed bytes.
std::string glanceDeltaLabel(const std::vector<std::uint64_t>& bytes);

struct GlanceCard {
    std::string title;
    std::string value;  // the last value, "—" without one
    std::string trend;
    bool trendColoured = false;  // a signed change takes the card's colour, other words the secondary one
    SparklineInput line;         // change since the first point, by date; size left to the widget
};

GlanceCard glanceCard(std::string title, const std::vector<std::pair<Date, std::uint64_t>>& series,
                      std::vector<ChartStoryMark> marks, Date windowStart, Date windowEnd);

struct GlanceCharts {
    GlanceCard free;  // "Free on computer", green
    GlanceCard app;   // the heaviest app or "Heaviest app", orange
};

// Both cards over the 900 seconds up to the state's clock.
GlanceCharts glanceCharts(const AppState& state);

}  // namespace velmora
