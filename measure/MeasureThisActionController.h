#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/sampling/AppMemorySnapshot.h"
#include "engine/sampling/SystemMemorySnapshot.h"
#include "measure/MeasureReport.h"
#include "measure/MeasurementSession.h"

namespace velmora {

class Clock;
class MemorySampler;
class MonotonicClock;

// "Check one action": a baseline while the user holds still, the action itself, then up to a
// minute of settling, and a report of what stayed. Driven by one call per memory sample.
class MeasureThisActionController {
public:
    static constexpr double baselineSeconds = 3.0;
    static constexpr double settleSeconds = 60.0;

    // The baseline and the settling minute are timed on `steady`, so setting the wall clock
    // neither holds nor skips them; dates shown to the user come from `clock`.
    MeasureThisActionController(const Clock& clock, const MonotonicClock& steady);

    // Source of the latest published sample for start and done; not owned, may stay unset.
    const MemorySampler* sampler = nullptr;

    void start();
    void done();
    void showResultNow();
    void cancel();

    void handleBaselineSample(const std::vector<AppMemorySnapshot>& apps, const SystemMemorySnapshot& system);
    void handleRecordingSample(const std::vector<AppMemorySnapshot>& apps, const SystemMemorySnapshot& system);
    void handleSettlingSample(const std::vector<AppMemorySnapshot>& apps, const SystemMemorySnapshot& system);

    // Published: each change is announced through onChange.
    const MeasurementSession& session() const { return session_; }
    const std::optional<MeasureReport>& latestReport() const { return latestReport_; }
    const std::string& statusMessage() const { return statusMessage_; }
    const std::string& measuringLabel() const { return measuringLabel_; }
    const std::optional<Date>& settleDeadline() const { return settleDeadline_; }
    const std::vector<std::uint64_t>& baselineSamples() const { return baselineSamples_; }

    std::function<void()> onChange;

private:
    void clearTables();
    void recordBaselinesAndPeaks(const std::vector<AppMemorySnapshot>& apps);
    const AppMemorySnapshot* frontmostTarget(const std::vector<AppMemorySnapshot>& apps) const;
    void setTarget(const AppMemorySnapshot& app, const std::optional<SystemMemorySnapshot>& system);
    void updatePeaksAndTarget(const std::vector<AppMemorySnapshot>& apps, const SystemMemorySnapshot& system);
    void resolveFinalTarget(const std::vector<AppMemorySnapshot>& apps);
    void finish();
    ConfidenceLevel computeConfidence() const;
    std::string targetName(const char* fallback) const;
    const AppMemorySnapshot* findTarget(const std::vector<AppMemorySnapshot>& apps) const;
    void announce() {
        if (onChange) onChange();
    }

    const Clock& clock_;
    const MonotonicClock& steady_;
    MeasurementSession session_ = MeasurementSession::fresh();
    std::optional<MeasureReport> latestReport_;
    std::string statusMessage_ = "Press Start, do one thing, then press Done.";
    std::string measuringLabel_ = "\u2014";
    std::unordered_map<std::string, std::uint64_t> baselines_;
    std::unordered_map<std::string, std::uint64_t> peaks_;
    std::vector<std::uint64_t> baselineSamples_;
    std::optional<Date> settleDeadline_;
    std::vector<std::string> frontmostDuringAction_;
    // Steady-clock moments of the baseline's start and the settling deadline.
    double baselineStartedSteady_ = 0;
    double settleDeadlineSteady_ = 0;
};

}  // namespace velmora
