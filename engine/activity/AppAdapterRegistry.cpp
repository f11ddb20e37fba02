#include "engine/activity/AppAdapterRegistry.h"

#include "engine/activity/BrowserActivityAdapter.h"

namespace velmora {

std::vector<ActivityEvent> AppAdapterRegistry::semanticEvents(const ActivityEvent& event,
                                                              const SamplingContext& context) const {
    std::vector<ActivityEvent> out;
    for (const auto& adapter : adapters) {
        if (!adapter || !adapter->handles(event)) continue;
        for (const auto& signal : adapter->signals(event, context))
            if (auto derived = BrowserActivityAdapter::makeEvent(signal, event)) out.push_back(std::move(*derived));
    }
    return out;
}

}  // namespace velmora
