#include "engine/sampling/AppMemorySnapshot.h"

namespace velmora {

Json AppMemorySnapshot::toJson() const {
    Json j = Json::object();
    j["identity"] = identity.toJson();
    j["footprintBytes"] = footprintBytes;
    putOptional(j, "compressedBytes", compressedBytes);
    putOptional(j, "cpuPercent", cpuPercent);
    j["isForeground"] = isForeground;
    j["timestamp"] = encode(timestamp);
    j["processDetails"] = encode(processDetails);
    return j;
}

AppMemorySnapshot AppMemorySnapshot::fromJson(const Json& j) {
    AppMemorySnapshot s;
    s.identity = require<ProcessIdentity>(j, "identity");
    s.footprintBytes = require<std::uint64_t>(j, "footprintBytes");
    s.compressedBytes = optional<std::uint64_t>(j, "compressedBytes");
    s.cpuPercent = optional<double>(j, "cpuPercent");
    s.isForeground = require<bool>(j, "isForeground");
    s.timestamp = require<Date>(j, "timestamp");
    s.processDetails = require<std::vector<ProcessDetail>>(j, "processDetails");
    return s;
}

}  // namespace velmora
