#include "ui/main/heavy/HeavyRules.h"

#include <algorithm>
#include <cmath>

#include "engine/detection/NoiseFilter.h"
#include "engine/stories/Phrasing.h"
#include "engine/support/ByteMath.h"

namespace velmora {

double heavyRangeSeconds(HeavyRange range) {
    switch (range) {
        case HeavyRange::oneMinute: return 60;
        case HeavyRange::fiveMinutes: return 300;
        case HeavyRange::oneHour: break;
    }
    return 3600;
}

std::string heavyRangeLabel(HeavyRange range) {
    switch (range) {
        case HeavyRange::oneMinute: return "1 min";
        case HeavyRange::fiveMinutes: return "5 min";
        case HeavyRange::oneHour: break;
    }
    return "1 hour";
}

std::vector<AppMemorySnapshot> heavyApps(const std::vector<AppMemorySnapshot>& snapshots) {
    std::vector<AppMemorySnapshot> out;
    for (const auto& app : snapshots) {
        if (out.size() == 25) break;
        if (app.identity.isSelf || !NoiseFilter::isNoise(app.identity)) out.push_back(app);
    }
    return out;
}

std::vector<std::uint64_t> sparklineValues(const FootprintHistoryMap& history, const std::string& key, Date start) {
    std::vector<std::uint64_t> out;
    auto it = history.find(key);
    if (it == history.end()) return out;
    for (const auto point : it->second)
        if (point.date >= start) out.push_back(point.footprintBytes);
    return out;
}

std::optional<DeltaBadge> deltaBadge(const std::vector<std::uint64_t>& values) {
    if (values.size() < 2) return std::nullopt;
    const std::int64_t delta = signedDifference(values.back(), values.front());
    const bool flat = byteMagnitude(delta) < 1048576;
    return DeltaBadge{flat ? std::string("flat") : formatSignedBytes(delta), delta < 0};
}

std::vector<LinePoint> sparklineLine(const std::vector<std::uint64_t>& values, double width, double height) {
    std::vector<LinePoint> out;
    const std::size_t n = values.size();
    if (n < 2 || width <= 0 || height <= 0) return out;
    const auto [lowIt, highIt] = std::minmax_element(values.begin(), values.end());
    const double lo = static_cast<double>(*lowIt);
    const double divisor = std::max(1.0, static_cast<double>(*highIt) - lo);
    // Under 4 high the band [2, h − 2] would be empty, and clamping to it undefined.
    const bool roomy = height >= 4;
    auto yOf = [&](std::uint64_t v) {
        if (!roomy) return height / 2;
        const double y = height - (static_cast<double>(v) - lo) / divisor * height;
        return std::clamp(y, 2.0, height - 2.0);
    };
    const auto columns = static_cast<std::size_t>(std::max(1.0, std::floor(width)));
    if (n <= 2 * columns) {
        out.reserve(n);
        for (std::size_t i = 0; i < n; ++i)
            out.push_back({static_cast<double>(i) * width / static_cast<double>(n - 1), yOf(values[i])});
        return out;
    }
    out.reserve(2 * columns);
    for (std::size_t c = 0; c < columns; ++c) {
        const std::size_t from = c * n / columns;
        const std::size_t to = std::max(from + 1, (c + 1) * n / columns);
        const auto [a, b] = std::minmax_element(values.begin() + static_cast<std::ptrdiff_t>(from),
                                                values.begin() + static_cast<std::ptrdiff_t>(to));
        const double x = (static_cast<double>(c) + 0.5) * width / static_cast<double>(columns);
        out.push_back({x, yOf(*a)});
        out.push_back({x, yOf(*b)});
    }
    return out;
}

}  // namespace velmora
