#include "measure/MeasureThisActionController.h"

#include <algorithm>
#include <cmath>

#include "engine/detection/NoiseFilter.h"
#include "engine/sampling/MemorySampler.h"
#include "engine/stories/Phrasing.h"
#include "engine/support/ByteMath.h"
#include "platform/Clock.h"
#include "platform/MonotonicClock.h"

namespace velmora {

namespace {
const std::vector<AppMemorySnapshot> noApps;

std::optional<std::uint64_t> entry(const std::unordered_map<std::string, std::uint64_t>& map, const std::string& key) {
    auto it = map.find(key);
    return it == map.end() ? std::nullopt : std::optional<std::uint64_t>(it->second);
}

std::string decimal(long long n) { return std::to_string(n); }
}  // namespace

MeasureThisActionController::MeasureThisActionController(const Clock& clock, const MonotonicClock& steady)
    : clock_(clock), steady_(steady) {}

void MeasureThisActionController::clearTables() {
    baselineSamples_.clear();
    baselines_.clear();
    peaks_.clear();
    frontmostDuringAction_.clear();
}

const AppMemorySnapshot* MeasureThisActionController::findTarget(const std::vector<AppMemorySnapshot>& apps) const {
    if (!session_.targetApp) return nullptr;
    for (const auto& app : apps)
        if (app.identity.groupingKey == session_.targetApp->groupingKey) return &app;
    return nullptr;
}

std::string MeasureThisActionController::targetName(const char* fallback) const {
    return session_.targetApp ? friendlyAppName(session_.targetApp->displayName) : std::string(fallback);
}

void MeasureThisActionController::recordBaselinesAndPeaks(const std::vector<AppMemorySnapshot>& apps) {
    for (const auto& app : apps) {
        if (app.identity.isSelf) continue;
        const auto& key = app.identity.groupingKey;
        baselines_.try_emplace(key, app.footprintBytes);
        peaks_[key] = std::max(app.footprintBytes, entry(peaks_, key).value_or(0));
    }
}

const AppMemorySnapshot* MeasureThisActionController::frontmostTarget(const std::vector<AppMemorySnapshot>& apps) const {
    for (const auto& app : apps)
        if (app.isForeground && !app.identity.isSelf && !NoiseFilter::isNoise(app.identity)) return &app;
    for (const auto& app : apps)
        if (app.isForeground && !app.identity.isSelf) return &app;
    return nullptr;
}

void MeasureThisActionController::setTarget(const AppMemorySnapshot& app, const std::optional<SystemMemorySnapshot>& system) {
    const auto& key = app.identity.groupingKey;
    // Baseline samples of another app would make "before" and the confidence describe two apps.
    if (!session_.targetApp || session_.targetApp->groupingKey != key) baselineSamples_.clear();
    session_.targetApp = app.identity;
    const std::uint64_t base = entry(baselines_, key).value_or(app.footprintBytes);
    session_.baselineFootprintBytes = base;
    const std::uint64_t peak = std::max(app.footprintBytes, entry(peaks_, key).value_or(base));
    peaks_[key] = peak;
    session_.peakFootprintBytes = peak;
    session_.settledFootprintBytes = app.footprintBytes;
    if (system) session_.peakSystem = system;
    measuringLabel_ = friendlyAppName(app.identity.displayName);
}

void MeasureThisActionController::updatePeaksAndTarget(const std::vector<AppMemorySnapshot>& apps,
                                                        const SystemMemorySnapshot& system) {
    for (const auto& app : apps) {
        if (app.identity.isSelf) continue;
        const auto& key = app.identity.groupingKey;
        peaks_[key] = std::max(app.footprintBytes, entry(peaks_, key).value_or(0));
    }
    const AppMemorySnapshot* target = findTarget(apps);
    if (!target) return;
    const auto& key = target->identity.groupingKey;
    session_.peakFootprintBytes = entry(peaks_, key).value_or(target->footprintBytes);
    session_.peakSystem = system;
    session_.targetApp = target->identity;
    if (!session_.baselineFootprintBytes)
        session_.baselineFootprintBytes = entry(baselines_, key).value_or(target->footprintBytes);
}

void MeasureThisActionController::start() {
    if (session_.phase != MeasurePhase::idle && session_.phase != MeasurePhase::report) return;
    latestReport_.reset();
    clearTables();
    session_ = MeasurementSession::started(clock_.now());
    baselineStartedSteady_ = steady_.seconds();
    statusMessage_ = "Getting a baseline of open apps\u2026 hold still.";
    measuringLabel_ = "All apps";
    const auto& apps = sampler ? sampler->appSnapshots() : noApps;
    const std::optional<SystemMemorySnapshot> system = sampler ? sampler->systemSnapshot() : std::nullopt;
    recordBaselinesAndPeaks(apps);
    if (const auto* front = frontmostTarget(apps)) setTarget(*front, system);
    session_.baselineSystem = system;
    session_.peakSystem = system;
    announce();
}

void MeasureThisActionController::handleBaselineSample(const std::vector<AppMemorySnapshot>& apps,
                                                        const SystemMemorySnapshot& system) {
    recordBaselinesAndPeaks(apps);
    if (const auto* front = frontmostTarget(apps)) setTarget(*front, system);
    if (const auto* target = findTarget(apps)) {
        baselineSamples_.push_back(target->footprintBytes);
        auto sorted = baselineSamples_;
        std::sort(sorted.begin(), sorted.end());
        session_.baselineFootprintBytes = sorted[sorted.size() / 2];
        session_.peakFootprintBytes = std::max(target->footprintBytes, session_.peakFootprintBytes.value_or(0));
    }
    session_.baselineSystem = system;
    session_.peakSystem = system;

    const double elapsed = std::max(0.0, steady_.seconds() - baselineStartedSteady_);
    if (elapsed < baselineSeconds || baselineSamples_.size() < 2) {
        const long long n = static_cast<long long>(std::max(0.0, std::trunc(baselineSeconds - elapsed))) + 1;
        statusMessage_ = "Baseline\u2026 " + decimal(n) + "s (watching " + targetName("apps") + ")";
    } else {
        recordBaselinesAndPeaks(apps);
        session_.phase = MeasurePhase::recording;
        session_.startedAt = clock_.now();
        statusMessage_ = "Do your action now in the app you care about, then press Done.";
    }
    announce();
}

void MeasureThisActionController::handleRecordingSample(const std::vector<AppMemorySnapshot>& apps,
                                                         const SystemMemorySnapshot& system) {
    if (const auto* front = frontmostTarget(apps)) {
        frontmostDuringAction_.push_back(front->identity.groupingKey);
        if (!session_.targetApp || session_.targetApp->groupingKey != front->identity.groupingKey)
            setTarget(*front, system);
    }
    updatePeaksAndTarget(apps, system);
    const std::string name = targetName("app");
    measuringLabel_ = name;
    if (const auto* target = findTarget(apps)) {
        const std::uint64_t start = entry(baselines_, target->identity.groupingKey)
                                        .value_or(session_.baselineFootprintBytes.value_or(target->footprintBytes));
        statusMessage_ = "Watching " + name + ": " + formatBytes(target->footprintBytes) + " (" +
                         formatSignedBytes(signedDifference(target->footprintBytes, start)) +
                         " vs start). Press Done when finished.";
    }
    announce();
}

void MeasureThisActionController::done() {
    if (session_.phase != MeasurePhase::recording && session_.phase != MeasurePhase::baselining) return;
    if (sampler) resolveFinalTarget(sampler->appSnapshots());
    const Date now = clock_.now();
    session_.phase = MeasurePhase::settling;
    // A clock set back during the action must not make it last a negative time.
    session_.actionEndedAt = session_.startedAt && now < *session_.startedAt ? *session_.startedAt : now;
    settleDeadline_ = now + settleSeconds;
    settleDeadlineSteady_ = steady_.seconds() + settleSeconds;
    const std::string name = targetName("app");
    statusMessage_ = "Measuring " + name + " \u2014 waiting up to 1 minute to see what sticks\u2026";
    measuringLabel_ = name;
    announce();
}

void MeasureThisActionController::resolveFinalTarget(const std::vector<AppMemorySnapshot>& apps) {
    const std::optional<SystemMemorySnapshot> system = sampler ? sampler->systemSnapshot() : std::nullopt;
    if (!frontmostDuringAction_.empty()) {
        for (const auto& app : apps)
            if (app.identity.groupingKey == frontmostDuringAction_.back()) return setTarget(app, system);
    }
    if (const auto* front = frontmostTarget(apps)) return setTarget(*front, system);
    // Only an app that actually grew is named; otherwise the target stays as it was.
    const AppMemorySnapshot* best = nullptr;
    std::int64_t bestGrowth = 0;
    for (const auto& app : apps) {
        if (app.identity.isSelf || NoiseFilter::isNoise(app.identity)) continue;
        const std::int64_t growth = signedDifference(
            app.footprintBytes, entry(baselines_, app.identity.groupingKey).value_or(app.footprintBytes));
        if (growth > bestGrowth) {
            best = &app;
            bestGrowth = growth;
        }
    }
    if (best) setTarget(*best, system);
}

void MeasureThisActionController::handleSettlingSample(const std::vector<AppMemorySnapshot>& apps,
                                                        const SystemMemorySnapshot& system) {
    updatePeaksAndTarget(apps, system);
    if (const auto* target = findTarget(apps)) session_.settledFootprintBytes = target->footprintBytes;
    session_.settledSystem = system;
    const double remaining = settleDeadline_ ? settleDeadlineSteady_ - steady_.seconds() : 0;
    if (remaining <= 0) return finish();
    statusMessage_ = "Settling " + targetName("app") + "\u2026 " + decimal(static_cast<long long>(std::trunc(remaining))) +
                     "s (or show result now).";
    announce();
}

void MeasureThisActionController::showResultNow() {
    if (session_.phase == MeasurePhase::settling) finish();
}

void MeasureThisActionController::finish() {
    session_.phase = MeasurePhase::report;
    session_.settledAt = clock_.now();
    if (!session_.settledFootprintBytes) session_.settledFootprintBytes = session_.peakFootprintBytes;
    if (session_.targetApp)
        if (auto base = entry(baselines_, session_.targetApp->groupingKey)) session_.baselineFootprintBytes = base;
    const ConfidenceLevel confidence = computeConfidence();
    const MeasureReport draft = MeasureReport::make(session_, confidence, "", clock_.now());
    latestReport_ = MeasureReport::make(session_, confidence, measureResultSentence(draft), clock_.now());
    statusMessage_ = "Done \u2014 measured " + measuringLabel_ + ".";
    announce();
}

void MeasureThisActionController::cancel() {
    session_ = MeasurementSession::fresh();
    latestReport_.reset();
    clearTables();
    measuringLabel_ = "\u2014";
    settleDeadline_.reset();
    statusMessage_ = "Cancelled. Press Start to try again.";
    announce();
}

ConfidenceLevel MeasureThisActionController::computeConfidence() const {
    if (!session_.baselineFootprintBytes || !session_.peakFootprintBytes || !session_.settledFootprintBytes)
        return ConfidenceLevel::low;
    if (baselineSamples_.size() < 3) return ConfidenceLevel::medium;
    // Summed as doubles: an unsigned sum of huge samples would wrap.
    double sum = 0;
    for (auto s : baselineSamples_) sum += static_cast<double>(s);
    const double n = static_cast<double>(baselineSamples_.size());
    const double mean = sum / n;
    if (mean <= 0) return ConfidenceLevel::low;
    double squares = 0;
    for (auto s : baselineSamples_) squares += (static_cast<double>(s) - mean) * (static_cast<double>(s) - mean);
    const double cv = std::sqrt(squares / n) / mean;
    if (cv < 0.02) return ConfidenceLevel::high;
    if (cv < 0.08) return ConfidenceLevel::medium;
    return ConfidenceLevel::low;
}

}  // namespace velmora
