#pragma once

namespace velmora {

// Seconds on a clock that only moves forward: setting the wall clock neither stretches nor
// skips what it measures. Its origin means nothing; only differences do.
class MonotonicClock {
public:
    virtual ~MonotonicClock() = default;
    virtual double seconds() const = 0;
};

}  // namespace velmora
