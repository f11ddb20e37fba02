#pragma once
// Arithmetic on byte counts that never wraps: memory figures are unsigned, changes are signed.
#include <algorithm>
#include <cstdint>
#include <limits>

namespace velmora {

// |a − b|.
constexpr std::uint64_t absoluteDifference(std::uint64_t a, std::uint64_t b) { return a > b ? a - b : b - a; }

// to − from as a signed value, clamped to the signed range.
constexpr std::int64_t signedDifference(std::uint64_t to, std::uint64_t from) {
    constexpr auto maxSigned = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (to >= from) return static_cast<std::int64_t>(std::min(to - from, maxSigned));
    const std::uint64_t drop = from - to;
    if (drop > maxSigned) return std::numeric_limits<std::int64_t>::min();
    return -static_cast<std::int64_t>(drop);
}

// |n| as unsigned, defined for the most negative value too.
constexpr std::uint64_t byteMagnitude(std::int64_t n) {
    return n < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
}

// a + b, held at the largest value instead of wrapping.
constexpr std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
    return b > std::numeric_limits<std::uint64_t>::max() - a ? std::numeric_limits<std::uint64_t>::max() : a + b;
}

// a + b, held at the end of the signed range it would have passed.
constexpr std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
    return sum;
}

}  // namespace velmora
