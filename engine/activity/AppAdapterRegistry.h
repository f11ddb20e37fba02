#pragma once
#include <memory>
#include <vector>

#include "engine/activity/AppAdapter.h"

namespace velmora {

// The registered adapters; turns one raw event into the semantic events they derive from it.
class AppAdapterRegistry {
public:
    std::vector<std::shared_ptr<const AppAdapter>> adapters;

    // In adapter order, and within one adapter in signal order.
    std::vector<ActivityEvent> semanticEvents(const ActivityEvent& event, const SamplingContext& context) const;
};

}  // namespace velmora
