#pragma once
#include <cstdint>

#include "engine/sampling/ProcessIdentity.h"
#include "engine/support/Date.h"

namespace velmora {

// An app whose footprint kept climbing for many minutes. Not stored.
struct SustainedGrowthResult {
    ProcessIdentity app;
    Date start;  // first history point of the window
    Date end;    // last history point of the window
    std::uint64_t startBytes = 0;
    std::uint64_t endBytes = 0;
    bool wasIdle = false;  // the user was idle when it was reported

    bool operator==(const SustainedGrowthResult&) const = default;
};

}  // namespace velmora
