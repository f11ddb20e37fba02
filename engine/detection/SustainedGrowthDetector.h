#pragma once
#include <cmath>
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
    // identity in the current sample (or a std::reference_wrapper to it). Reports through
    // onSustainedGrowth before returning.
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
            const std::size_t n = std::size(points);
            const ProcessIdentity& app = found->second;  // the identity or a reference to it
            if (app.isSelf || n < minimumPoints) continue;
            if (auto result = evaluateRun(app, points, cachedRunStart(key, points, now), isIdle, now)) {
                lastEmit_[key] = now;
                if (onSustainedGrowth) onSustainedGrowth(*result);
            }
        }
        if (runs_.size() > std::size(histories))
            std::erase_if(runs_, [&](const auto& entry) { return histories.find(entry.first) == std::end(histories); });
    }

    // The finding for one app, or nothing, cooldown aside; does not report or remember it.
    template <class Points>
    std::optional<SustainedGrowthResult> evaluateApp(const ProcessIdentity& app, const Points& points, bool isIdle,
                                                     Date now) const {
        if (app.isSelf || std::size(points) < minimumPoints) return std::nullopt;
        return evaluateRun(app, points, runStart(points, now - windowSeconds), isIdle, now);
    }

private:
    template <class Points>
    static decltype(auto) at(const Points& points, std::size_t i) {
        return *std::next(std::begin(points), static_cast<std::ptrdiff_t>(i));
    }

    // Walks back from the newest point along the latest continuous run, down to `floor` (a point
    // no earlier than that) or to `known` (the point dated so). Returns where it stopped.
    template <class Points>
    static std::size_t walkBack(const Points& points, Date floor, std::optional<Date> known = std::nullopt) {
        std::size_t first = std::size(points) - 1;
        while (first > 0) {
            const Date t = historypoint::time(at(points, first));
            if (known && t == *known) break;
            const Date earlier = historypoint::time(at(points, first - 1));
            if (earlier < floor) break;
            const double step = t - earlier;
            if (step < 0 || step > maxPointGapSeconds) break;  // a hole, or the clock was set back
            --first;
        }
        return first;
    }

    template <class Points>
    static std::size_t runStart(const Points& points, Date windowStart) {
        return walkBack(points, windowStart);
    }

    // As runStart, but remembering each app's run between samples, so that a sample costs the
    // points added since and a binary search instead of a walk over the whole window.
    template <class Points>
    std::size_t cachedRunStart(const std::string& key, const Points& points, Date now) {
        const std::size_t n = std::size(points);
        const Date newest = historypoint::time(at(points, n - 1));
        Run& run = runs_[key];
        const bool known = run.length > 0 && newest >= run.newest;
        const std::size_t stop = walkBack(points, Date{-HUGE_VAL}, known ? std::optional(run.newest) : std::nullopt);
        if (known && historypoint::time(at(points, stop)) == run.newest) run.length += n - 1 - stop;
        else run.length = n - stop;  // first sight, a hole since, a clock set back, a new history
        run.newest = newest;
        // Inside the run the points are in time order; the history drops points only at its front.
        std::size_t lo = n > run.length ? n - run.length : 0, hi = n - 1;
        const Date windowStart = now - windowSeconds;
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (historypoint::time(at(points, mid)) < windowStart) lo = mid + 1;
            else hi = mid;
        }
        return lo;
    }

    template <class Points>
    std::optional<SustainedGrowthResult> evaluateRun(const ProcessIdentity& app, const Points& points, std::size_t first,
                                                     bool isIdle, Date now) const {
        const std::size_t n = std::size(points);
        if (historypoint::time(at(points, n - 1)) < now - windowSeconds) return std::nullopt;
        const auto& a = at(points, first);
        const auto& z = at(points, n - 1);
        if (historypoint::time(z) - historypoint::time(a) < minimumSpanSeconds) return std::nullopt;
        const std::uint64_t startBytes = historypoint::bytes(a);
        const std::uint64_t endBytes = historypoint::bytes(z);
        if (endBytes <= startBytes || endBytes - startBytes < thresholds_.sustainedGrowthBytes()) return std::nullopt;
        if (!isMostlyRising(std::next(std::begin(points), first), std::end(points))) return std::nullopt;
        return SustainedGrowthResult{app, historypoint::time(a), historypoint::time(z), startBytes, endBytes, isIdle};
    }

public:
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

public:
    std::function<void(const SustainedGrowthResult&)> onSustainedGrowth;

    const AdaptiveThresholds& thresholds() const { return thresholds_; }
    const std::unordered_map<std::string, Date>& lastEmit() const { return lastEmit_; }
    double cooldown() const { return cooldown_; }

private:
    struct Run {
        Date newest;             // the newest point when last walked
        std::size_t length = 0;  // points in the latest continuous run then
    };

    AdaptiveThresholds thresholds_;
    std::unordered_map<std::string, Run> runs_;
    std::unordered_map<std::string, Date> lastEmit_;
    double cooldown_;
};

}  // namespace velmora
