#pragma once
// Where a marked sparkline's pieces go, as plain numbers: the dashed zero line, the line's
// points and the story ticks. Qt-free, so every rule is tested on its own.
#include <vector>

#include "app/ChartStoryMark.h"
#include "engine/support/Date.h"

namespace velmora {

struct SparklineInput {
    std::vector<double> values;  // change since the first point, oldest first
    // Optional, one per value: points then sit by time on the same axis as the ticks.
    // Left empty (or of another length), points are spaced evenly by index.
    std::vector<Date> dates;
    std::vector<ChartStoryMark> marks;
    Date windowStart;
    Date windowEnd;
    double width = 0;
    double height = 0;
    bool operator==(const SparklineInput&) const = default;
};

struct SparklineGeometry {
    struct Point {
        double x = 0, y = 0;
        bool operator==(const Point&) const = default;
    };
    struct Tick {
        double x = 0;
        bool release = false;  // a negative change: drawn green, else orange
        bool operator==(const Tick&) const = default;
    };
    double zeroY = 0;
    std::vector<Point> points;  // empty below two values: the placeholder is drawn instead
    std::vector<Tick> ticks;    // in the marks' order
    double dotY = 0;            // the ticks' dots sit at 0.35 of the height
    // A tick's dot, and the half of its 1-unit outline that lies outside it.
    static constexpr double dotRadius = 4;
    static constexpr double dotReach = dotRadius + 0.5;
    bool placeholder() const { return points.empty(); }
};

// Value range from min(·, 0) to max(·, 0), at least 1 wide; points kept 3 units off the top and
// bottom edges (the middle when the height leaves no room); ticks at their time within the
// window (a window shorter than one second counts as one), held to its edges, and held a dot's
// reach inside the chart so that the dot at either end shows whole.
SparklineGeometry sparklineGeometry(const SparklineInput& input);

// x of `date` in a window of `width`: 0 at the start, `width` at the end, held to both.
double sparklineX(Date date, Date windowStart, Date windowEnd, double width);

}  // namespace velmora
