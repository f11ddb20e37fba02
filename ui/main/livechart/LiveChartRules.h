#pragma once
// What the live chart draws, as plain values: the heaviest apps' lines over a range, thinned to a
// fixed number of points. Qt-free, so the thinning is tested index by index.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/sampling/AppCategory.h"
#include "engine/sampling/AppMemorySnapshot.h"
#include "engine/sampling/FootprintHistory.h"

namespace velmora {

struct ChartPoint {
    Date date;
    std::uint64_t bytes = 0;
    bool operator==(const ChartPoint&) const = default;
};

// One app's line, keyed by its grouping key: two apps sharing a friendly name stay two lines.
struct ChartSeries {
    std::string key;
    std::string name;
    AppCategory category = AppCategory::other;
    std::vector<ChartPoint> points;  // thinned, oldest first
    std::uint64_t currentBytes = 0;  // newest point in the range, before thinning
    std::int64_t deltaBytes = 0;     // newest minus oldest, before thinning
};

// Indices of the `count` points to keep with at most `maxPoints` (below 1 counts as 1): all when
// they fit, else every count/maxPoints-th by a cursor advanced by repeated addition, and the
// newest index whenever the walk did not reach it.
std::vector<std::size_t> downsampleIndices(std::size_t count, int maxPoints);
std::vector<ChartPoint> downsample(const std::vector<FootprintHistory::Point>& points, int maxPoints);

// The memory axis for a top line of `topGigabytes`: a rounded ceiling (so the scale does not creep
// every second), its tick count, and as many decimals as the step between ticks needs.
struct MemoryAxis {
    double ceiling = 1;
    int ticks = 6;
    int decimals = 1;
};
MemoryAxis memoryAxis(double topGigabytes);

// About four time marks on whole minutes, oldest first, counted back from the minute of `now` so
// the newest data is labelled; none before `now` less `rangeMinutes`.
std::vector<double> timeMarks(double nowSeconds, int rangeMinutes);

// The first `maxSeries` of `visible` (heaviest first) with their points dated at or after
// `start`; apps with fewer than two such points are dropped, not replaced.
std::vector<ChartSeries> makeSeries(const std::vector<AppMemorySnapshot>& visible, const FootprintHistoryMap& history,
                                    Date start, int maxSeries, int maxPoints);

}  // namespace velmora
