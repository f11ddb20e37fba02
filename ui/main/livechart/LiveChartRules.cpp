#include "ui/main/livechart/LiveChartRules.h"

#include <algorithm>
#include <cmath>

#include "engine/stories/Phrasing.h"
#include "engine/support/ByteMath.h"

namespace velmora {

std::vector<std::size_t> downsampleIndices(std::size_t count, int maxPoints) {
    // A maximum of 0 would make the step infinite, and truncating infinity is undefined.
    const auto limit = static_cast<std::size_t>(std::max(maxPoints, 1));
    std::vector<std::size_t> out;
    if (count <= limit) {
        out.resize(count);
        for (std::size_t i = 0; i < count; ++i) out[i] = i;
        return out;
    }
    out.reserve(limit + 2);
    const double step = static_cast<double>(count) / static_cast<double>(limit);
    double cursor = 0.0;
    std::size_t index = 0;
    do {
        out.push_back(index);
        cursor += step;
        index = static_cast<std::size_t>(cursor);
    } while (index < count);
    // By index, not by date: equal dates (a clock set back) must not drop the newest sample.
    if (out.back() != count - 1) out.push_back(count - 1);
    return out;
}

std::vector<ChartPoint> downsample(const std::vector<FootprintHistory::Point>& points, int maxPoints) {
    std::vector<ChartPoint> out;
    const auto indices = downsampleIndices(points.size(), maxPoints);
    out.reserve(indices.size());
    for (auto i : indices) out.push_back({points[i].date, points[i].footprintBytes});
    return out;
}

MemoryAxis memoryAxis(double topGigabytes) {
    MemoryAxis axis;
    const double wanted = topGigabytes * 1.05;
    if (std::isfinite(wanted) && wanted > 0) {
        const double magnitude = std::pow(10.0, std::floor(std::log10(wanted)));
        axis.ceiling = 10 * magnitude;
        for (double m : {1.0, 2.0, 2.5, 5.0})
            if (wanted <= m * magnitude) {
                axis.ceiling = m * magnitude;
                break;
            }
    }
    // Ticks at round steps: five for a ceiling of 2 (0.5 apart), else six.
    const double mantissa = axis.ceiling / std::pow(10.0, std::floor(std::log10(axis.ceiling)));
    axis.ticks = std::abs(mantissa - 2.0) < 1e-9 ? 5 : 6;
    // Steps are 1, 2 or 5 times a power of ten; fewer decimals than the step has repeat labels.
    const double step = axis.ceiling / (axis.ticks - 1);
    axis.decimals = std::max(0, static_cast<int>(std::ceil(-std::log10(step) - 1e-6)));
    return axis;
}

std::vector<double> timeMarks(double nowSeconds, int rangeMinutes) {
    std::vector<double> marks;
    if (!std::isfinite(nowSeconds) || rangeMinutes <= 0) return marks;
    const double spacing = std::ceil(rangeMinutes / 4.0) * 60.0;
    const double newest = std::floor(nowSeconds / 60.0) * 60.0;
    const double start = nowSeconds - rangeMinutes * 60.0;
    for (int i = 3; i >= 0; --i)
        if (const double at = newest - i * spacing; at >= start) marks.push_back(at);
    return marks;
}

std::vector<ChartSeries> makeSeries(const std::vector<AppMemorySnapshot>& visible, const FootprintHistoryMap& history,
                                    Date start, int maxSeries, int maxPoints) {
    std::vector<ChartSeries> out;
    if (maxSeries <= 0) return out;
    const std::size_t take = std::min(visible.size(), static_cast<std::size_t>(maxSeries));
    std::vector<FootprintHistory::Point> points;
    for (std::size_t i = 0; i < take; ++i) {
        const auto& app = visible[i];
        auto it = history.find(app.identity.groupingKey);
        if (it == history.end()) continue;
        points.clear();
        // Every date is checked: after the clock was set back a history need not be in order.
        for (const auto point : it->second)
            if (point.date >= start) points.push_back(point);
        if (points.size() < 2) continue;
        ChartSeries series;
        series.key = app.identity.groupingKey;
        series.name = friendlyAppName(app.identity.displayName);
        series.category = categorize(app.identity);
        series.currentBytes = points.back().footprintBytes;
        series.deltaBytes = signedDifference(points.back().footprintBytes, points.front().footprintBytes);
        series.points = downsample(points, maxPoints);
        out.push_back(std::move(series));
    }
    return out;
}

}  // namespace velmora
