#pragma once
#include <cstdint>

#include "engine/detection/AdaptiveThresholds.h"
#include "engine/sampling/ProcessIdentity.h"

namespace velmora {

// Decides whether a change is large for this machine, and which processes never become
// stories or rows at all.
struct NoiseFilter {
    AdaptiveThresholds thresholds;

    // delta ≥ B.
    bool isSignificantDelta(std::uint64_t delta) const;
    // At least 10 % of the baseline and at least B / 2; the absolute test when the baseline is 0.
    bool isSignificantRelative(std::uint64_t delta, std::uint64_t baseline) const;

    // True for this application itself and for system and desktop plumbing.
    static bool isNoise(const ProcessIdentity& identity);
};

}  // namespace velmora
