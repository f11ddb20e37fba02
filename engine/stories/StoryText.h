#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/activity/ActivityEvent.h"
#include "engine/sampling/SystemMemorySnapshot.h"
#include "engine/stories/TimelineEvent.h"

namespace velmora {

// How much a change matters to the machine, in a word and a sentence.
struct ImpactVerdict {
    std::uint8_t level = 0;  // 0 the best news, 5 the worst
    std::string label;
    std::string reason;

    bool operator==(const ImpactVerdict&) const = default;
};

// A pressure change or swap burst: about the whole machine, not one app.
bool isSystemStory(const TimelineEvent& story);
// The first window present among settled, immediate and longer-term.
const ImpactWindow* firstPresentWindow(const TimelineEvent& story);
// That window's change, or 0 without one.
std::int64_t storyDelta(const TimelineEvent& story);
// The end footprint of the first window, in the same order, that has one.
std::optional<std::uint64_t> firstEndFootprint(const TimelineEvent& story);

// A missing snapshot counts as normal pressure with nothing known to be available.
ImpactVerdict impactVerdict(std::int64_t delta, const std::optional<SystemMemorySnapshot>& system);

// Rewords a story once it carries a measurement; whole-machine stories get fixed wording.
// Applying it again to its own result gives the same text.
TimelineEvent rewriteStoryText(const TimelineEvent& story);

// The line cleaned for use as a short phrase, or nothing when it is boilerplate.
std::optional<std::string> storyPhraseFilter(std::string_view line);

// The first telling event decides; without one, the first telling line of the text.
std::optional<std::string> storyDisplayHeadline(std::string_view text, const std::vector<ActivityEvent>& events);

// The phrase for a story's short title, from its explanation, else from a "name · phrase" title.
std::optional<std::string> storyPhraseFromEvent(const TimelineEvent& story);

// "<app> · <phrase>" for a growth with a usable phrase; else "<app> freed memory" / "<app> used more memory".
std::string storyShortTitle(std::string_view name, std::int64_t delta, const std::optional<std::string>& phrase);

}  // namespace velmora
