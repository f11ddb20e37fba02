#include "engine/detection/AdaptiveThresholds.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace velmora {

namespace {
constexpr double per16GiB = 0x1p-34;  // 1 / 16 GiB
constexpr std::uint64_t deltaFloor = 50331648;  // 48 MiB
constexpr std::uint64_t rateFloor = 8388608;    // 8 MiB
}  // namespace

std::uint64_t truncatedBytes(double value) {
    if (!(value > 0)) return 0;  // also NaN
    if (value >= 0x1p64) return std::numeric_limits<std::uint64_t>::max();
    return static_cast<std::uint64_t>(value);
}

std::uint64_t AdaptiveThresholds::significantDeltaBytes() const {
    const double scaled = static_cast<double>(totalPhysicalBytes) * per16GiB * 104857600.0;
    return std::max(truncatedBytes(scaled), deltaFloor);
}

std::uint64_t AdaptiveThresholds::sustainedGrowthBytes() const { return 3 * significantDeltaBytes(); }

std::uint64_t AdaptiveThresholds::sizeScaledThreshold() const {
    const double scaled = std::sqrt(static_cast<double>(totalPhysicalBytes) * per16GiB) * 20971520.0;
    return std::max(truncatedBytes(scaled), rateFloor);
}

}  // namespace velmora
