#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/detection/NoiseFilter.h"
#include "engine/detection/PendingChange.h"
#include "engine/detection/SignificantChange.h"
#include "engine/sampling/AppMemorySnapshot.h"
#include "engine/sampling/SystemMemorySnapshot.h"

namespace velmora {

class AppNoiseProfileStore;

// Turns the once-a-second stream of app and system snapshots into a few confirmed changes: a
// large growth or release of one app, a change of pressure level, a burst of swap use.
class SignificantChangeDetector {
public:
    // How long a change must have lasted outside the app's noise before it is confirmed.
    static constexpr double confirmSeconds = 4.0;
    // Samples further apart than this mean the sampler was stopped (or the machine slept): every
    // watch starts afresh, so an app is not compared with a footprint from before the pause.
    static constexpr double maxSampleGapSeconds = 10.0;

    SignificantChangeDetector(std::uint64_t totalPhysicalBytes, AppNoiseProfileStore& noiseStore,
                              double cooldownSeconds = 20.0);

    // One sample. Reports each confirmed change through onSignificantChange before returning.
    void evaluate(const std::vector<AppMemorySnapshot>& apps, const SystemMemorySnapshot& system, Date now);

    std::function<void(const SignificantChange&)> onSignificantChange;

    const std::unordered_map<std::string, PendingChange>& pending() const { return pending_; }
    const std::unordered_map<std::string, Date>& lastEmit() const { return lastEmit_; }
    const std::optional<SystemMemorySnapshot>& lastSystem() const { return lastSystem_; }
    const NoiseFilter& filter() const { return filter_; }
    double cooldown() const { return cooldown_; }

private:
    void evaluateSystem(const SystemMemorySnapshot& system, Date now);
    void evaluateApp(const AppMemorySnapshot& app, const SystemMemorySnapshot& system, Date now);
    // Confirms the change when it qualifies; true when it was emitted (and removed).
    bool evaluatePending(const PendingChange& p, const SystemMemorySnapshot& system, Date now);
    // Keeps leftNoiseAt in step with the latest footprint; previousSide is the direction before it.
    void trackNoiseBand(PendingChange& p, PendingChange::Direction previousSide, Date now) const;
    void emit(const SignificantChange& change);

    std::unordered_map<std::string, PendingChange> pending_;
    std::optional<Date> lastEvaluation_;
    std::optional<SystemMemorySnapshot> lastSystem_;
    std::unordered_map<std::string, Date> lastEmit_;
    double cooldown_;
    NoiseFilter filter_;
    AppNoiseProfileStore& noiseStore_;
};

}  // namespace velmora
