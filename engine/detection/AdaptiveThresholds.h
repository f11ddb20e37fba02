#pragma once
#include <cstdint>

#include "engine/support/ByteMath.h"

namespace velmora {

// The sizes that count as a large memory change on this machine. Everything scales with the
// installed memory so that a 64 GiB machine is not held to an 8 GiB machine's numbers; an
// unknown memory size (0) gives the floors.
struct AdaptiveThresholds {
    std::uint64_t totalPhysicalBytes = 0;

    // B: 100 MiB per 16 GiB installed, never below 48 MiB.
    std::uint64_t significantDeltaBytes() const;
    // 3 × B: the rise that counts as sustained growth.
    std::uint64_t sustainedGrowthBytes() const;
    // 20 MiB × sqrt(memory / 16 GiB), never below 8 MiB; used as a rate in bytes per second.
    std::uint64_t sizeScaledThreshold() const;

    bool operator==(const AdaptiveThresholds&) const = default;
};

// Converts a double to an unsigned byte count, truncating toward zero. NaN and negative values
// give 0, values at or beyond 2^64 give the largest value.
std::uint64_t truncatedBytes(double value);

}  // namespace velmora
