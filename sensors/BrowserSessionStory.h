#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/sampling/ProcessIdentity.h"
#include "engine/support/Date.h"

namespace velmora {

// A browser family that grew a lot over one browsing session. Not stored.
struct BrowserSessionStory {
    ProcessIdentity app;  // the family identity
    Date start;           // the session's anchor time
    Date end;             // the sample that made the story
    std::uint64_t startBytes = 0;
    std::uint64_t endBytes = 0;
    std::uint64_t peakBytes = 0;
    std::vector<std::string> pages;     // oldest first
    std::int64_t pageChangeCount = 0;   // never less than pages.size()

    bool operator==(const BrowserSessionStory&) const = default;
};

}  // namespace velmora
