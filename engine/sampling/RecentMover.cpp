#include "engine/sampling/RecentMover.h"

#include <algorithm>
#include <limits>

#include "engine/stories/Phrasing.h"

namespace velmora {

std::vector<RecentMover> RecentMover::compute(const FootprintHistoryMap& history,
                                              const std::unordered_map<std::string, ProcessIdentity>& identities,
                                              double windowSeconds, Date now, std::uint64_t minimumChange,
                                              std::size_t maxCount) {
    struct Found {
        RecentMover mover;
        std::uint64_t magnitude;
    };
    const Date cutoff = now - windowSeconds;
    std::vector<Found> found;
    for (const auto& [key, points] : history) {
        const auto identity = identities.find(key);
        if (identity == identities.end() || points.empty()) continue;
        const auto latest = points.back();
        const std::size_t first = points.firstIndexAtOrAfter(cutoff);
        const auto baseline = first < points.size() ? points[first] : points.front();

        const bool grew = latest.footprintBytes >= baseline.footprintBytes;
        const std::uint64_t magnitude = grew ? latest.footprintBytes - baseline.footprintBytes
                                             : baseline.footprintBytes - latest.footprintBytes;
        if (magnitude < minimumChange) continue;
        constexpr auto maxDelta = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
        const auto clamped = static_cast<std::int64_t>(std::min(magnitude, maxDelta));
        found.push_back({RecentMover{key, friendlyAppName(identity->second.displayName), grew ? clamped : -clamped,
                                     latest.footprintBytes, identity->second.isSelf},
                         magnitude});
    }
    std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.magnitude > b.magnitude; });
    std::vector<RecentMover> out;
    out.reserve(std::min(maxCount, found.size()));
    for (auto& f : found) {
        if (out.size() == maxCount) break;
        out.push_back(std::move(f.mover));
    }
    return out;
}

}  // namespace velmora
