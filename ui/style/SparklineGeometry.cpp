#include "ui/style/SparklineGeometry.h"

#include <algorithm>
#include <cmath>

namespace velmora {

double sparklineX(Date date, Date windowStart, Date windowEnd, double width) {
    const double span = std::max(windowEnd - windowStart, 1.0);
    const double f = (date - windowStart) / span;
    // NaN (a date from a broken file) sits on the left edge like an old one.
    return width * (std::isnan(f) ? 0.0 : std::clamp(f, 0.0, 1.0));
}

SparklineGeometry sparklineGeometry(const SparklineInput& in) {
    SparklineGeometry g;
    const double w = std::max(in.width, 0.0);
    const double h = std::max(in.height, 0.0);
    double lo = 0, hi = 0;
    for (double v : in.values) {
        if (!std::isfinite(v)) continue;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    const double range = std::max(hi - lo, 1.0);
    const auto yOf = [&](double v) { return h - (v - lo) / range * h; };
    g.zeroY = in.values.empty() ? h / 2 : yOf(0);

    const std::size_t n = in.values.size();
    if (n >= 2) {
        // Three units off each edge; a chart too low for that keeps its points in the middle.
        const double top = std::min(3.0, h / 2), bottom = std::max(h - 3.0, h / 2);
        const bool byTime = in.dates.size() == n;
        g.points.reserve(n);
        for (std::size_t i = 0; i < n; ++i) {
            const double x = byTime ? sparklineX(in.dates[i], in.windowStart, in.windowEnd, w)
                                    : static_cast<double>(i) * w / static_cast<double>(n - 1);
            const double v = std::isfinite(in.values[i]) ? in.values[i] : 0.0;
            g.points.push_back({x, std::clamp(yOf(v), top, bottom)});
        }
    }
    g.ticks.reserve(in.marks.size());
    // A chart narrower than a dot centres them.
    const double first = std::min(SparklineGeometry::dotReach, w / 2), last = std::max(w - SparklineGeometry::dotReach, w / 2);
    for (const auto& mark : in.marks)
        g.ticks.push_back(
            {std::clamp(sparklineX(mark.date, in.windowStart, in.windowEnd, w), first, last), mark.deltaBytes < 0});
    g.dotY = 0.35 * h;
    return g;
}

}  // namespace velmora
