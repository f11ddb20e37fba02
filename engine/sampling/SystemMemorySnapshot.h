#pragma once
#include <array>
#include <cstdint>
#include <string_view>

#include "engine/support/Json.h"

namespace velmora {

class Clock;
class SystemMemorySource;

enum class MemoryPressureLevel { normal, warning, critical };

template <>
struct EnumNames<MemoryPressureLevel> {
    static constexpr std::array<std::string_view, 3> names{"normal", "warning", "critical"};
};

// The whole machine's memory at one sample.
struct SystemMemorySnapshot {
    MemoryPressureLevel pressure = MemoryPressureLevel::normal;
    std::uint64_t swapUsedBytes = 0;
    std::uint64_t compressedBytes = 0;
    std::uint64_t availableBytes = 0;
    std::uint64_t totalPhysicalBytes = 0;
    Date timestamp;

    // True when part of the kernel reading failed and fell back to zeros. Not stored and not
    // compared: detectors use it to skip a reading that would look like a jump.
    bool readFailed = false;

    bool operator==(const SystemMemorySnapshot& o) const {
        return pressure == o.pressure && swapUsedBytes == o.swapUsedBytes && compressedBytes == o.compressedBytes &&
               availableBytes == o.availableBytes && totalPhysicalBytes == o.totalPhysicalBytes &&
               timestamp == o.timestamp;
    }

    static constexpr auto jsonFields = std::tuple{
        jsonField("pressure", &SystemMemorySnapshot::pressure),
        jsonField("swapUsedBytes", &SystemMemorySnapshot::swapUsedBytes),
        jsonField("compressedBytes", &SystemMemorySnapshot::compressedBytes),
        jsonField("availableBytes", &SystemMemorySnapshot::availableBytes),
        jsonField("totalPhysicalBytes", &SystemMemorySnapshot::totalPhysicalBytes),
        jsonField("timestamp", &SystemMemorySnapshot::timestamp)};
    Json toJson() const;
    static SystemMemorySnapshot fromJson(const Json& j);

    // Reads the machine's memory now. Never fails; failed reads degrade to zeros.
    static SystemMemorySnapshot capture(SystemMemorySource& source, const Clock& clock);
};

}  // namespace velmora
