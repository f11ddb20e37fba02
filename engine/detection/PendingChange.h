#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "engine/sampling/ProcessIdentity.h"
#include "engine/support/Date.h"

namespace velmora {

// A change in one app that the detector watches but has not confirmed yet.
struct PendingChange {
    enum class Direction { growth, release };

    std::string groupingKey;
    ProcessIdentity app;  // as seen when watching began
    std::uint64_t startFootprint = 0;  // the baseline
    std::uint64_t latestFootprint = 0;
    std::uint64_t peakFootprint = 0;
    Date firstSeen;  // when watching began
    Date lastSeen;   // the latest sample
    // Release when latest < start; a watch begun by a reversal starts out the way memory moved.
    Direction direction = Direction::growth;
    // When the footprint last left the app's noise band on its current side of the baseline;
    // absent while it is inside. A change is as old as this, not as old as the watch.
    std::optional<Date> leftNoiseAt;

    bool operator==(const PendingChange&) const = default;
};

}  // namespace velmora
