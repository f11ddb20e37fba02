#include "measure/MeasureReport.h"

#include <limits>
#include <utility>

namespace velmora {

namespace {
// Held within ±(2^63 − 1), so whoever negates a report's figure cannot overflow.
std::int64_t reportDifference(std::uint64_t after, std::uint64_t before) {
    return std::max(signedDifference(after, before), -std::numeric_limits<std::int64_t>::max());
}
}  // namespace

MeasureReport MeasureReport::make(const MeasurementSession& session, ConfidenceLevel confidence, std::string summary,
                                  Date now) {
    MeasureReport r;
    r.id = session.id;
    r.createdAt = now;
    r.targetApp = session.targetApp;
    r.actionDuration = session.actionDuration();
    r.beforeBytes = session.baselineFootprintBytes;
    r.peakBytes = session.peakFootprintBytes;
    r.settledBytes = session.settledFootprintBytes;
    if (session.settledFootprintBytes && session.baselineFootprintBytes)
        r.lastingImpactBytes = reportDifference(*session.settledFootprintBytes, *session.baselineFootprintBytes);

    const auto& after = session.settledSystem ? session.settledSystem : session.peakSystem;
    if (session.baselineSystem) r.pressureBefore = session.baselineSystem->pressure;
    if (after) r.pressureAfter = after->pressure;
    if (session.baselineSystem && after)
        r.swapAddedBytes = reportDifference(after->swapUsedBytes, session.baselineSystem->swapUsedBytes);

    r.confidence = confidence;
    r.summary = std::move(summary);
    return r;
}

Json MeasureReport::toJson() const {
    Json j = Json::object();
    j["id"] = encode(id);
    j["createdAt"] = encode(createdAt);
    putOptional(j, "targetApp", targetApp);
    putOptional(j, "actionDuration", actionDuration);
    putOptional(j, "beforeBytes", beforeBytes);
    putOptional(j, "peakBytes", peakBytes);
    putOptional(j, "settledBytes", settledBytes);
    putOptional(j, "lastingImpactBytes", lastingImpactBytes);
    putOptional(j, "pressureBefore", pressureBefore);
    putOptional(j, "pressureAfter", pressureAfter);
    putOptional(j, "swapAddedBytes", swapAddedBytes);
    j["confidence"] = encode(confidence);
    j["summary"] = summary;
    return j;
}

MeasureReport MeasureReport::fromJson(const Json& j) {
    MeasureReport r;
    r.id = require<Uuid>(j, "id");
    r.createdAt = require<Date>(j, "createdAt");
    r.targetApp = optional<ProcessIdentity>(j, "targetApp");
    r.actionDuration = optional<double>(j, "actionDuration");
    r.beforeBytes = optional<std::uint64_t>(j, "beforeBytes");
    r.peakBytes = optional<std::uint64_t>(j, "peakBytes");
    r.settledBytes = optional<std::uint64_t>(j, "settledBytes");
    r.lastingImpactBytes = optional<std::int64_t>(j, "lastingImpactBytes");
    r.pressureBefore = optional<MemoryPressureLevel>(j, "pressureBefore");
    r.pressureAfter = optional<MemoryPressureLevel>(j, "pressureAfter");
    r.swapAddedBytes = optional<std::int64_t>(j, "swapAddedBytes");
    r.confidence = require<ConfidenceLevel>(j, "confidence");
    r.summary = require<std::string>(j, "summary");
    return r;
}

}  // namespace velmora
