#include "engine/sampling/MemorySampler.h"

#include "platform/Clock.h"
#include "platform/SystemMemorySource.h"

namespace velmora {

MemorySampler::MemorySampler(ProcessSource& processes, DesktopSession& desktop, SystemMemorySource& memory,
                             Scheduler& scheduler, const Clock& clock, SelfProcess self)
    : processes_(processes), desktop_(desktop), memory_(memory), scheduler_(scheduler), clock_(clock),
      self_(std::move(self)) {}

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
    const auto raw = ProcessEnumerator::enumerate(processes_, desktop_, &knownApplications_);
    auto apps = ProcessGrouper::group(raw, true, self_, &groupingMemo_);

    std::vector<AppMemorySnapshot> snapshots;
    snapshots.reserve(apps.size());
    for (auto& app : apps) {
        AppMemorySnapshot s;
        s.identity = std::move(app.identity);
        s.footprintBytes = app.footprintBytes;
        if (app.compressedBytes != 0) s.compressedBytes = app.compressedBytes;
        s.isForeground = app.isForeground;
        s.timestamp = now;
        s.processDetails = std::move(app.processDetails);
        snapshots.push_back(std::move(s));
    }
    const SystemMemorySnapshot system = SystemMemorySnapshot::capture(memory_, clock_);

    appSnapshots_ = std::move(snapshots);
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
