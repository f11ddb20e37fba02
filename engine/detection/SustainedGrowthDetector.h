#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "engine/detection/AdaptiveThresholds.h"
#include "engine/detection/SustainedGrowthResult.h"
#include "engine/sampling/ProcessIdentity.h"
#include "engine/support/Date.h"

namespace velmora {

// Reads the time and footprint of one history point: a (time, bytes) pair or a record with a
// `date` / `timestamp` and a `footprintBytes` / `footprint` member.
namespace historypoint {
template <class P>
Date time(const P& p) {
    if constexpr (requires { p.date; }) return p.date;
    else if constexpr (requires { p.timestamp; }) return p.timestamp;
    else return p.first;
}
template <class P>
std::uint64_t bytes(const P& p) {
    if constexpr (requires { p.footprintBytes; }) return p.footprintBytes;
    else if constexpr (requires { p.footprint; }) return p.footprint;
    else return p.second;
}
}  // namespace historypoint

// Finds apps that never jump but creep: a footprint that rose by a lot over at least twelve of
// the last fifteen minutes, mostly steadily. Reports an app at most once per cooldown.
class SustainedGrowthDetector {
public:
    static constexpr double windowSeconds = 900.0;
    static constexpr double minimumSpanSeconds = 720.0;
    static constexpr std::size_t minimumPoints = 30;
    // Points further apart than this belong to different runs (the app quit and came back, or
    // the sampler was stopped); only the latest run counts, so a hole is never read as growth.
    // Generous, because a loaded machine may skip a few ticks in the middle of a real leak.
    static constexpr double maxPointGapSeconds = 30.0;

    explicit SustainedGrowthDetector(std::uint64_t totalPhysicalBytes, double cooldownSeconds = 600.0)
        : thresholds_{totalPhysicalBytes}, cooldown_(cooldownSeconds) {}

    // histories: grouping key → points oldest first; identities: grouping key → the app's
    // identity in the current sample. Reports through onSustainedGrowth before returning.
    template <class Histories, class Identities>
    void evaluate(const Histories& histories, const Identities& identities, bool isIdle, Date now) {
        // A cooldown that has run out holds nothing: dropping it keeps the map to recent reports
        // instead of every app ever seen.
        std::erase_if(lastEmit_, [&](const auto& entry) { return entry.second <= now && now - entry.second >= cooldown_; });
        if (std::empty(identities)) return;
        for (const auto& [key, points] : histories) {
            const auto found = identities.find(key);
            if (found == identities.end()) continue;
            if (const auto last = lastEmit_.find(key); last != lastEmit_.end() && last->second <= now &&
                now - last->second < cooldown_)
                continue;
            if (auto result = evaluateApp(found->second, points, isIdle, now)) {
                lastEmit_[key] = now;
                if (onSustainedGrowth) onSustainedGrowth(*result);
            }
        }
    }

    // The finding for one app, or nothing, cooldown aside; does not report or remember it.
    template <class Points>
    std::optional<SustainedGrowthResult> evaluateApp(const ProcessIdentity& app, const Points& points, bool isIdle,
                                                     Date now) const {
        if (app.isSelf) return std::nullopt;
        const std::size_t n = std::size(points);
        if (n < minimumPoints) return std::nullopt;
        const auto at = [&](std::size_t i) -> decltype(auto) { return *std::next(std::begin(points), i); };

        // The latest continuous run inside the window, walking back from the newest point.
        const Date windowStart = now - windowSeconds;
        if (historypoint::time(at(n - 1)) < windowStart) return std::nullopt;
        std::size_t first = n - 1;
        while (first > 0) {
            const Date earlier = historypoint::time(at(first - 1));
            if (earlier < windowStart) break;
            const double step = historypoint::time(at(first)) - earlier;
            if (step < 0 || step > maxPointGapSeconds) break;  // a hole, or the clock was set back
            --first;
        }

        const auto& a = at(first);
        const auto& z = at(n - 1);
        if (historypoint::time(z) - historypoint::time(a) < minimumSpanSeconds) return std::nullopt;
        const std::uint64_t startBytes = historypoint::bytes(a);
        const std::uint64_t endBytes = historypoint::bytes(z);
        if (endBytes <= startBytes || endBytes - startBytes < thresholds_.sustainedGrowthBytes()) return std::nullopt;
        if (!isMostlyRising(std::next(std::begin(points), first), std::end(points))) return std::nullopt;
        return SustainedGrowthResult{app, historypoint::time(a), historypoint::time(z), startBytes, endBytes, isIdle};
    }

    // More rising (or flat) steps than twice the falling ones; false below four points.
    template <class It>
    static bool isMostlyRising(It begin, It end) {
        if (std::distance(begin, end) < 4) return false;
        std::size_t rising = 0, falling = 0;
        for (It prev = begin, it = std::next(begin); it != end; prev = it, ++it)
            (historypoint::bytes(*it) >= historypoint::bytes(*prev) ? rising : falling) += 1;
        return rising > 2 * falling;
    }
    template <class Points>
    static bool isMostlyRising(const Points& points) {
        return isMostlyRising(std::begin(points), std::end(points));
    }

    std::function<void(const SustainedGrowthResult&)> onSustainedGrowth;

    const AdaptiveThresholds& thresholds() const { return thresholds_; }
    const std::unordered_map<std::string, Date>& lastEmit() const { return lastEmit_; }
    double cooldown() const { return cooldown_; }

private:
    AdaptiveThresholds thresholds_;
    std::unordered_map<std::string, Date> lastEmit_;
    double cooldown_;
};

}  // namespace velmora
