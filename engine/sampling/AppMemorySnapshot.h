#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/sampling/ProcessIdentity.h"

namespace velmora {

// One app at one sample.
struct AppMemorySnapshot {
    ProcessIdentity identity;
    std::uint64_t footprintBytes = 0;
    std::optional<std::uint64_t> compressedBytes;
    std::optional<double> cpuPercent;
    bool isForeground = false;
    Date timestamp;
    std::vector<ProcessDetail> processDetails;

    // groupingKey + "-" + the Unix time of the sample.
    std::string id() const { return identity.groupingKey + "-" + formatDouble(timestamp.unixSeconds()); }
    bool operator==(const AppMemorySnapshot&) const = default;

    static constexpr auto jsonFields = std::tuple{
        jsonField("identity", &AppMemorySnapshot::identity),
        jsonField("footprintBytes", &AppMemorySnapshot::footprintBytes),
        jsonField("compressedBytes", &AppMemorySnapshot::compressedBytes),
        jsonField("cpuPercent", &AppMemorySnapshot::cpuPercent),
        jsonField("isForeground", &AppMemorySnapshot::isForeground),
        jsonField("timestamp", &AppMemorySnapshot::timestamp),
        jsonField("processDetails", &AppMemorySnapshot::processDetails)};
    Json toJson() const;
    static AppMemorySnapshot fromJson(const Json& j);
};

}  // namespace velmora
