#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/sampling/FootprintHistory.h"
#include "engine/sampling/ProcessIdentity.h"

namespace velmora {

// An app whose footprint moved noticeably over a recent window.
struct RecentMover {
    std::string groupingKey;
    std::string displayName;
    std::int64_t deltaBytes = 0;  // current minus baseline
    std::uint64_t currentBytes = 0;
    bool isSelf = false;

    const std::string& id() const { return groupingKey; }
    bool operator==(const RecentMover&) const = default;

    // The apps of `history` that still have an identity and moved by at least `minimumChange`
    // bytes since the window began, largest absolute change first, at most `maxCount`.
    static std::vector<RecentMover> compute(const FootprintHistoryMap& history,
                                            const std::unordered_map<std::string, ProcessIdentity>& identities,
                                            double windowSeconds, Date now, std::uint64_t minimumChange,
                                            std::size_t maxCount);
};

}  // namespace velmora
