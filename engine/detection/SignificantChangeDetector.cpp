#include "engine/detection/SignificantChangeDetector.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "engine/detection/AppNoiseProfileStore.h"

namespace velmora {

using Direction = PendingChange::Direction;

SignificantChangeDetector::SignificantChangeDetector(std::uint64_t totalPhysicalBytes,
                                                     AppNoiseProfileStore& noiseStore, double cooldownSeconds)
    : cooldown_(cooldownSeconds), filter_{AdaptiveThresholds{totalPhysicalBytes}}, noiseStore_(noiseStore) {}

void SignificantChangeDetector::emit(const SignificantChange& change) {
    if (onSignificantChange) onSignificantChange(change);
}

void SignificantChangeDetector::evaluate(const std::vector<AppMemorySnapshot>& apps,
                                         const SystemMemorySnapshot& system, Date now) {
    evaluateSystem(system, now);

    if (lastEvaluation_ && (now - *lastEvaluation_ > maxSampleGapSeconds || now < *lastEvaluation_)) pending_.clear();
    lastEvaluation_ = now;

    // An empty list means the process list could not be read, not that every app quit.
    if (apps.empty()) return;

    std::vector<std::string_view> present;  // views into `apps`
    present.reserve(apps.size());
    for (const auto& app : apps) {
        present.push_back(app.identity.groupingKey);
        if (app.identity.isSelf) continue;
        evaluateApp(app, system, now);
    }

    // An app missing from a sample has quit (or restarted); when it comes back it starts afresh.
    std::sort(present.begin(), present.end());
    const auto missing = [&](const auto& entry) {
        return !std::binary_search(present.begin(), present.end(), std::string_view(entry.first));
    };
    std::erase_if(pending_, missing);
    std::erase_if(lastEmit_, missing);
}

void SignificantChangeDetector::evaluateSystem(const SystemMemorySnapshot& system, Date now) {
    // A partly failed reading has zeros where values should be; comparing with it would show a
    // pressure change or a swap burst that never happened.
    if (system.readFailed) return;

    if (lastSystem_) {
        const SystemMemorySnapshot& last = *lastSystem_;
        if (last.pressure != system.pressure) {
            SignificantChange c;
            c.id = Uuid::random();
            c.app = ProcessIdentity::system();
            c.detectedAt = now;
            c.growthStartedAt = last.timestamp;
            c.currentFootprint = system.availableBytes;
            c.kind = SignificantChange::Kind::pressureTransition(last.pressure, system.pressure);
            c.system = system;
            emit(c);
        }
        const double dt = system.timestamp - last.timestamp;
        if (dt > 0 && system.swapUsedBytes > last.swapUsedBytes) {
            const double grown = static_cast<double>(system.swapUsedBytes - last.swapUsedBytes);
            const std::uint64_t rate = truncatedBytes(grown / dt);
            if (rate >= filter_.thresholds.sizeScaledThreshold()) {
                SignificantChange c;
                c.id = Uuid::random();
                c.app = ProcessIdentity::system();
                c.detectedAt = now;
                c.growthStartedAt = last.timestamp;
                c.baselineFootprint = last.swapUsedBytes;
                c.currentFootprint = system.swapUsedBytes;
                c.peakFootprint = system.swapUsedBytes;
                c.signedDelta = signedDifference(system.swapUsedBytes, last.swapUsedBytes);
                c.kind = SignificantChange::Kind::swapSpike(rate);
                c.system = system;
                emit(c);
            }
        }
    }
    lastSystem_ = system;
}

void SignificantChangeDetector::trackNoiseBand(PendingChange& p, Direction previousSide, Date now) const {
    const std::uint64_t d = absoluteDifference(p.latestFootprint, p.startFootprint);
    if (noiseStore_.isWithinNoise(p.groupingKey, d, filter_.thresholds.significantDeltaBytes()))
        p.leftNoiseAt.reset();
    else if (!p.leftNoiseAt || p.direction != previousSide)
        p.leftNoiseAt = now;
}

void SignificantChangeDetector::evaluateApp(const AppMemorySnapshot& app, const SystemMemorySnapshot& system,
                                            Date now) {
    const std::string& key = app.identity.groupingKey;
    const std::uint64_t f = app.footprintBytes;
    const std::uint64_t b = filter_.thresholds.significantDeltaBytes();
    noiseStore_.seen(key, now);

    const auto it = pending_.find(key);
    if (it == pending_.end()) {
        pending_.emplace(key, PendingChange{key, app.identity, f, f, f, now, now, Direction::growth, std::nullopt});
        return;
    }

    PendingChange& p = it->second;
    const Direction previousSide = p.direction;
    const std::uint64_t previous = p.latestFootprint;
    p.latestFootprint = f;
    p.peakFootprint = std::max(p.peakFootprint, f);
    p.lastSeen = now;
    p.direction = f < p.startFootprint ? Direction::release : Direction::growth;
    trackNoiseBand(p, previousSide, now);
    const bool reversal = p.direction != previousSide && absoluteDifference(f, p.startFootprint) > b / 4;
    if (!evaluatePending(p, system, now) && reversal) {
        // Watch afresh from here. A step out of the noise band starts at the sample before it, so
        // neither a plain release nor a step against the jitter is lost. The fresh watch goes the
        // way memory just moved: started at this sample it would otherwise count as a growth, and
        // a release that goes on in large steps would be taken for a reversal at every step.
        const Direction moved = p.direction;
        const bool stepped = !noiseStore_.isWithinNoise(key, absoluteDifference(f, previous), b);
        const std::uint64_t start = stepped ? previous : f;
        p = PendingChange{key, app.identity, start, f, std::max(start, f), now, now, moved, std::nullopt};
        trackNoiseBand(p, p.direction, now);
    }

    // Teach the app's noise from every sample of a change that stays below B.
    const auto still = pending_.find(key);
    if (still != pending_.end()) {
        const std::uint64_t d = absoluteDifference(still->second.latestFootprint, still->second.startFootprint);
        if (d > 0 && d < b) noiseStore_.record(key, d, now);
    }
}

bool SignificantChangeDetector::evaluatePending(const PendingChange& p, const SystemMemorySnapshot& system,
                                                Date now) {
    const std::uint64_t d = absoluteDifference(p.latestFootprint, p.startFootprint);
    if (noiseStore_.isWithinNoise(p.groupingKey, d, filter_.thresholds.significantDeltaBytes())) return false;
    if (!p.leftNoiseAt || p.lastSeen - *p.leftNoiseAt < confirmSeconds) return false;
    if (!filter_.isSignificantDelta(d) && !filter_.isSignificantRelative(d, p.startFootprint)) return false;
    // A report dated after now means the clock was set back: it holds no cooldown.
    if (const auto last = lastEmit_.find(p.groupingKey);
        last != lastEmit_.end() && last->second <= now && now - last->second < cooldown_)
        return false;

    SignificantChange c;
    c.id = Uuid::random();
    c.app = p.app;
    c.detectedAt = now;
    c.growthStartedAt = p.leftNoiseAt;
    c.baselineFootprint = p.startFootprint;
    c.currentFootprint = p.latestFootprint;
    c.peakFootprint = p.peakFootprint;
    c.signedDelta = signedDifference(p.latestFootprint, p.startFootprint);
    c.kind = p.latestFootprint < p.startFootprint ? SignificantChange::Kind::largeRelease()
                                                  : SignificantChange::Kind::largeGrowth();
    c.system = system;

    const std::string key = p.groupingKey;  // p may live in pending_ and go with it
    lastEmit_[key] = now;
    pending_.erase(key);
    emit(c);
    return true;
}

}  // namespace velmora
