#include "engine/sampling/MemorySampler.h"

#include "platform/Clock.h"
#include "platform/SystemMemorySource.h"

namespace velmora {

MemorySampler::MemorySampler(ProcessSource& processes, DesktopSession& desktop, SystemMemorySource& memory,
                             Scheduler& scheduler, const Clock& clock, SelfProcess self,
                             const FileSystem* programFiles)
    : processes_(processes), desktop_(desktop), memory_(memory), scheduler_(scheduler), clock_(clock),
      self_(std::move(self)), programFiles_(programFiles) {}

MemorySampler::~MemorySampler() {
    if (timer_) scheduler_.cancel(*timer_);
}

void MemorySampler::announce() {
    if (onChange) onChange();
}

void MemorySampler::start() {
    if (isRunning_) return;
    isRunning_ = true;
    announce();
    memory_.startPressureWatcher();
    tick();
    // A tick handler may have stopped the sampler already.
    if (!isRunning_ || timer_) return;
    timer_ = scheduler_.scheduleRepeating(1.0, [this] { tick(); });
}

void MemorySampler::stop() {
    if (timer_) {
        scheduler_.cancel(*timer_);
        timer_.reset();
    }
    if (!isRunning_) return;
    isRunning_ = false;
    announce();
}

void MemorySampler::tick() {
    const Date now = clock_.now();
    ProcessEnumerator::enumerate(processes_, desktop_, &knownApplications_, rawProcesses_);
    ProcessGrouper::group(rawProcesses_, true, self_, groupingMemo_, groupedApps_, programFiles_);
    const SystemMemorySnapshot system = SystemMemorySnapshot::capture(memory_, clock_);

    // The groups' strings and lists are swapped into the published snapshots, and the last
    // sample's go back to be written over: an app keeps its rank from one sample to the next more
    // often than not, so its strings still fit.
    appSnapshots_.resize(groupedApps_.size());
    for (std::size_t i = 0; i < groupedApps_.size(); ++i) {
        auto& app = groupedApps_[i];
        AppMemorySnapshot& s = appSnapshots_[i];
        std::swap(s.identity, app.identity);
        s.footprintBytes = app.footprintBytes;
        s.compressedBytes = app.compressedBytes != 0 ? std::optional(app.compressedBytes) : std::nullopt;
        s.cpuPercent.reset();
        s.isForeground = app.isForeground;
        s.timestamp = now;
        std::swap(s.processDetails, app.processDetails);
    }
    announce();
    systemSnapshot_ = system;
    announce();
    lastTick_ = now;
    announce();

    const Date cutoff = now - maxHistorySeconds;
    for (const auto& s : appSnapshots_) {
        FootprintHistory& history = footprintHistory_[s.identity.groupingKey];
        history.append(now, s.footprintBytes);
        history.keepNewest(maxPointsPerApp);
        history.removeBefore(cutoff);
    }
    // Apps gone from the samples keep their points untouched until the newest is two hours old.
    std::erase_if(footprintHistory_, [&](const auto& entry) {
        return entry.second.empty() || entry.second.back().date < cutoff;
    });

    if (onTick) onTick(appSnapshots_, *systemSnapshot_);
}

}  // namespace velmora
