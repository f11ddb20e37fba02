#pragma once
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include "engine/sampling/AppMemorySnapshot.h"
#include "engine/sampling/FootprintHistory.h"
#include "engine/sampling/ProcessEnumerator.h"
#include "engine/sampling/ProcessGrouper.h"
#include "engine/sampling/SystemMemorySnapshot.h"
#include "platform/Scheduler.h"

namespace velmora {

class Clock;
class DesktopSession;
class FileSystem;
class ProcessSource;
class SystemMemorySource;

// Samples every app and the whole machine once a second while running, publishes the latest
// sample and keeps a two-hour footprint history per app.
class MemorySampler {
public:
    static constexpr double maxHistorySeconds = 7200.0;
    static constexpr std::size_t maxPointsPerApp = 7200;

    // `programFiles` tells which browser is installed beside a helper that nothing running owns;
    // without it such a helper is shown by its own name.
    MemorySampler(ProcessSource& processes, DesktopSession& desktop, SystemMemorySource& memory,
                  Scheduler& scheduler, const Clock& clock, SelfProcess self,
                  const FileSystem* programFiles = nullptr);
    ~MemorySampler();
    MemorySampler(const MemorySampler&) = delete;
    MemorySampler& operator=(const MemorySampler&) = delete;

    // Takes one sample at once, then one a second. Does nothing when already running.
    void start();
    // Stops the timer; the published sample and the history stay.
    void stop();
    // One sample.
    void tick();

    // Published: each change is announced through onChange.
    const std::vector<AppMemorySnapshot>& appSnapshots() const { return appSnapshots_; }
    const std::optional<SystemMemorySnapshot>& systemSnapshot() const { return systemSnapshot_; }
    bool isRunning() const { return isRunning_; }
    const std::optional<Date>& lastTick() const { return lastTick_; }

    const FootprintHistoryMap& footprintHistory() const { return footprintHistory_; }

    // Called at the end of every sample with the sample's apps (largest first) and system state.
    std::function<void(const std::vector<AppMemorySnapshot>&, const SystemMemorySnapshot&)> onTick;
    // Called after each published field changes.
    std::function<void()> onChange;

private:
    void announce();

    ProcessSource& processes_;
    DesktopSession& desktop_;
    SystemMemorySource& memory_;
    Scheduler& scheduler_;
    const Clock& clock_;
    SelfProcess self_;
    const FileSystem* programFiles_;

    std::vector<AppMemorySnapshot> appSnapshots_;
    std::optional<SystemMemorySnapshot> systemSnapshot_;
    bool isRunning_ = false;
    std::optional<Date> lastTick_;
    FootprintHistoryMap footprintHistory_;
    ProcessEnumerator::KnownApplications knownApplications_;
    ProcessGrouper::Memo groupingMemo_;
    // Kept from one sample to the next for their storage only.
    std::vector<RawProcess> rawProcesses_;
    std::vector<ProcessGrouper::GroupedApp> groupedApps_;
    std::optional<Scheduler::TimerId> timer_;
};

}  // namespace velmora
