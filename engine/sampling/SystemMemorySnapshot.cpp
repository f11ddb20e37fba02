#include "engine/sampling/SystemMemorySnapshot.h"

#include "platform/Clock.h"
#include "platform/SystemMemorySource.h"

namespace velmora {

SystemMemorySnapshot SystemMemorySnapshot::capture(SystemMemorySource& source, const Clock& clock) {
    source.startPressureWatcher();
    const SystemMemoryReading reading = source.read();

    SystemMemorySnapshot s;
    s.totalPhysicalBytes = reading.totalPhysicalBytes.value_or(0);
    s.availableBytes = reading.availableBytes.value_or(0);
    s.compressedBytes = reading.compressedBytes.value_or(0);
    s.swapUsedBytes = reading.swapUsedBytes.value_or(0);
    s.pressure = reading.pressure ? *reading.pressure : source.lastReportedPressure();
    // The detectors compare these three; a zero standing in for a failed read is not a change.
    s.readFailed = !reading.totalPhysicalBytes || !reading.availableBytes || !reading.swapUsedBytes;
    s.timestamp = clock.now();
    return s;
}

}  // namespace velmora
