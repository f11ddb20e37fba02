#pragma once
#include <cstdint>
#include <optional>

#include "engine/sampling/SystemMemorySnapshot.h"

namespace velmora {

// The kernel's view of the whole machine's memory. Each field is absent when its read failed.
struct SystemMemoryReading {
    std::optional<std::uint64_t> totalPhysicalBytes;
    std::optional<std::uint64_t> availableBytes;
    std::optional<std::uint64_t> compressedBytes;
    std::optional<std::uint64_t> swapUsedBytes;
    // The pressure level from the kernel's own pressure signal; absent when unreadable.
    std::optional<MemoryPressureLevel> pressure;
};

class SystemMemorySource {
public:
    virtual ~SystemMemorySource() = default;
    virtual SystemMemoryReading read() = 0;
    // The last level reported by the asynchronous pressure watcher, used when `pressure` is absent.
    virtual MemoryPressureLevel lastReportedPressure() const = 0;
    // Starts the pressure watcher once; later calls do nothing.
    virtual void startPressureWatcher() = 0;
};

}  // namespace velmora
