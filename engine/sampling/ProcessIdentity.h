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

    static constexpr auto jsonFields = std::tuple{
        jsonField("groupingKey", &ProcessIdentity::groupingKey), jsonField("bundleID", &ProcessIdentity::bundleID),
        jsonField("displayName", &ProcessIdentity::displayName), jsonField("pids", &ProcessIdentity::pids),
        jsonField("isSelf", &ProcessIdentity::isSelf)};
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

    static constexpr auto jsonFields =
        std::tuple{jsonField("pid", &ProcessDetail::pid), jsonField("name", &ProcessDetail::name),
                   jsonField("footprintBytes", &ProcessDetail::footprintBytes),
                   jsonField("parentPID", &ProcessDetail::parentPID)};
    Json toJson() const;
    static ProcessDetail fromJson(const Json& j);
};

}  // namespace velmora
