#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/support/Json.h"

namespace velmora {

// One app as the system sees it. `groupingKey` is the key of all per-app state.
struct ProcessIdentity {
    std::string groupingKey;
    std::optional<std::string> bundleID;
    std::string displayName;
    std::vector<std::int32_t> pids;  // ascending
    bool isSelf = false;

    const std::string& id() const { return groupingKey; }
    bool operator==(const ProcessIdentity&) const = default;

    Json toJson() const;
    static ProcessIdentity fromJson(const Json& j);

    // The whole-machine identity of pressure and swap changes.
    static ProcessIdentity system();
};

// One process of an app.
struct ProcessDetail {
    std::int32_t pid = 0;
    std::string name;
    std::uint64_t footprintBytes = 0;
    std::optional<std::int32_t> parentPID;

    std::int32_t id() const { return pid; }
    bool operator==(const ProcessDetail&) const = default;

    Json toJson() const;
    static ProcessDetail fromJson(const Json& j);
};

}  // namespace velmora
