#pragma once
#include <string>
#include <vector>

#include "engine/activity/ActivityEvent.h"
#include "engine/activity/StructuredSignal.h"
#include "engine/detection/SignificantChange.h"
#include "engine/stories/TimelineEvent.h"

namespace velmora {

// Works out what the user was doing when one confirmed memory change happened, and how sure
// that is. Pure: the same inputs give the same result.
class AttributionEngine {
public:
    struct Attribution {
        ConfidenceLevel confidence = ConfidenceLevel::low;
        std::vector<ActivityEvent> linkedActivities;      // at most six, highest score first
        std::vector<StructuredSignal> structuredSignals;  // those of the changed app
        std::string explanation;                          // lines joined by "\n"
        std::string title;
        bool needsVisualFallback = false;  // nothing explained a growth
        std::vector<std::string> primaryFactors;

        bool operator==(const Attribution&) const = default;
    };

    // `events` oldest first, as the caller holds them.
    Attribution attribute(const SignificantChange& change, const std::vector<ActivityEvent>& events,
                          const std::vector<StructuredSignal>& signals) const;

    // Whether an event's app is the changed app: same key, same bundle identifier or same browser family.
    // Kinds that say what the user was looking at: a title, a page, a tab, a site, a new window.
    static bool isStrongKind(ActivityEventKind kind);
    static bool isSameApp(const ProcessIdentity& a, const ProcessIdentity& b);
    // Score of one event in a window that starts at `start` and spans `span` seconds.
    static double score(const ActivityEvent& event, Date start, double span);
};

}  // namespace velmora
