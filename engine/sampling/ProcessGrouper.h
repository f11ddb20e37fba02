#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/sampling/ProcessEnumerator.h"
#include "engine/sampling/ProcessIdentity.h"

namespace velmora {

// This application's own process id and desktop-entry id, passed in by whoever builds the engine.
struct SelfProcess {
    std::int32_t pid = 0;
    std::optional<std::string> bundleID;
    bool operator==(const SelfProcess&) const = default;
};

// Turns one sample's processes into apps: helpers are charged to the application that owns them,
// browser processes gather into one family, known command-line tools get their own groups.
struct ProcessGrouper {
    struct GroupedApp {
        ProcessIdentity identity;
        std::uint64_t footprintBytes = 0;
        std::uint64_t compressedBytes = 0;
        bool isForeground = false;
        std::vector<ProcessDetail> processDetails;  // enumeration order
        bool operator==(const GroupedApp&) const = default;
    };

    // Largest footprint first. With `includeSelf` false, this application's processes and every
    // process charged to it are left out.
    static std::vector<GroupedApp> group(const std::vector<RawProcess>& raw, bool includeSelf, const SelfProcess& self);
};

}  // namespace velmora
