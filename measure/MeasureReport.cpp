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

Json MeasureReport::toJson() const { return encodeFields(*this); }

MeasureReport MeasureReport::fromJson(const Json& j) { return decodeFields<MeasureReport>(j); }

}  // namespace velmora
