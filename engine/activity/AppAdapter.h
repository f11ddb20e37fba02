#pragma once
#include <string_view>
#include <vector>

#include "engine/activity/ActivityEvent.h"
#include "engine/activity/StructuredSignal.h"

namespace velmora {

// Reads the events of one family of apps and extracts structured signals from them.
class AppAdapter {
public:
    virtual ~AppAdapter() = default;

    // A short name of the family this adapter reads, for diagnostics.
    virtual std::string_view familyName() const = 0;
    virtual bool handles(const ActivityEvent& event) const = 0;
    virtual std::vector<StructuredSignal> signals(const ActivityEvent& event, const SamplingContext& context) const = 0;
};

}  // namespace velmora
