#include "engine/sampling/SystemMemorySnapshot.h"

namespace velmora {

Json SystemMemorySnapshot::toJson() const {
    Json j = Json::object();
    j["pressure"] = encode(pressure);
    j["swapUsedBytes"] = swapUsedBytes;
    j["compressedBytes"] = compressedBytes;
    j["availableBytes"] = availableBytes;
    j["totalPhysicalBytes"] = totalPhysicalBytes;
    j["timestamp"] = encode(timestamp);
    return j;
}

SystemMemorySnapshot SystemMemorySnapshot::fromJson(const Json& j) {
    SystemMemorySnapshot s;
    s.pressure = require<MemoryPressureLevel>(j, "pressure");
    s.swapUsedBytes = require<std::uint64_t>(j, "swapUsedBytes");
    s.compressedBytes = require<std::uint64_t>(j, "compressedBytes");
    s.availableBytes = require<std::uint64_t>(j, "availableBytes");
    s.totalPhysicalBytes = require<std::uint64_t>(j, "totalPhysicalBytes");
    s.timestamp = require<Date>(j, "timestamp");
    return s;
}

}  // namespace velmora
