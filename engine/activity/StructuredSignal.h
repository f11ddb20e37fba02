#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "engine/support/Date.h"

namespace velmora {

// One weighted fact an adapter read out of an activity event: the site, likely media, a navigation.
struct StructuredSignal {
    std::string name;                   // "site", "media_youtube", "media_video", "navigation"
    std::optional<std::string> detail;  // the host for "site", the cleaned page title otherwise
    Date timestamp;                     // of the event it came from
    std::optional<std::string> bundleID;
    double weight = 0;

    bool operator==(const StructuredSignal&) const = default;
};

// What an adapter may know about the moment besides the event.
struct SamplingContext {
    std::optional<std::string> frontmostBundleID;
    Date timestamp;

    bool operator==(const SamplingContext&) const = default;
};

// A bundle identifier that is present and not empty; an empty one says nothing about the app and
// would otherwise be a prefix of, or equal to, every other empty identifier.
inline std::optional<std::string_view> usableBundleID(const std::optional<std::string>& bundleID) {
    if (!bundleID || bundleID->empty()) return std::nullopt;
    return std::string_view(*bundleID);
}

}  // namespace velmora
