#pragma once
// The "Who's heavy" list: which apps, their sparkline values, badges and line geometry. Qt-free.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/sampling/AppMemorySnapshot.h"
#include "engine/sampling/FootprintHistory.h"

namespace velmora {

enum class HeavyRange { oneMinute, fiveMinutes, oneHour };
double heavyRangeSeconds(HeavyRange range);
std::string heavyRangeLabel(HeavyRange range);

// The first 25 of `snapshots` (heaviest first) that are the application itself or not noise.
std::vector<AppMemorySnapshot> heavyApps(const std::vector<AppMemorySnapshot>& snapshots);

// The byte values under `key` dated at or after `start`, oldest first.
std::vector<std::uint64_t> sparklineValues(const FootprintHistoryMap& history, const std::string& key, Date start);

struct DeltaBadge {
    std::string text;  // "flat" under 1 MiB either way, else the signed size
    bool release = false;  // drawn green, else orange
    bool operator==(const DeltaBadge&) const = default;
};
// None under two values.
std::optional<DeltaBadge> deltaBadge(const std::vector<std::uint64_t>& values);

struct LinePoint {
    double x = 0, y = 0;
    bool operator==(const LinePoint&) const = default;
};
// The line over `width` × `height`: the values' own range, at least 1 wide, kept 2 off the top
// and bottom (the middle when the height leaves under 4). With more than two values per pixel
// column, each column gets its minimum and maximum instead (an envelope of 2 × width points).
// Empty under two values: the placeholder is drawn instead.
std::vector<LinePoint> sparklineLine(const std::vector<std::uint64_t>& values, double width, double height);

}  // namespace velmora
