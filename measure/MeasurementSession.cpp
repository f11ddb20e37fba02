#include "measure/MeasurementSession.h"

namespace velmora {

MeasurementSession MeasurementSession::fresh() {
    MeasurementSession s;
    s.id = Uuid::random();
    return s;
}

MeasurementSession MeasurementSession::started(Date now) {
    MeasurementSession s = fresh();
    s.phase = MeasurePhase::baselining;
    s.startedAt = now;
    return s;
}

std::optional<double> MeasurementSession::actionDuration() const {
    if (!startedAt || !actionEndedAt) return std::nullopt;
    return *actionEndedAt - *startedAt;
}

Json MeasurementSession::toJson() const {
    Json j = Json::object();
    j["id"] = encode(id);
    j["phase"] = encode(phase);
    putOptional(j, "startedAt", startedAt);
    putOptional(j, "actionEndedAt", actionEndedAt);
    putOptional(j, "settledAt", settledAt);
    putOptional(j, "targetApp", targetApp);
    putOptional(j, "baselineFootprintBytes", baselineFootprintBytes);
    putOptional(j, "peakFootprintBytes", peakFootprintBytes);
    putOptional(j, "settledFootprintBytes", settledFootprintBytes);
    putOptional(j, "baselineSystem", baselineSystem);
    putOptional(j, "peakSystem", peakSystem);
    putOptional(j, "settledSystem", settledSystem);
    return j;
}

MeasurementSession MeasurementSession::fromJson(const Json& j) {
    MeasurementSession s;
    s.id = require<Uuid>(j, "id");
    s.phase = require<MeasurePhase>(j, "phase");
    s.startedAt = optional<Date>(j, "startedAt");
    s.actionEndedAt = optional<Date>(j, "actionEndedAt");
    s.settledAt = optional<Date>(j, "settledAt");
    s.targetApp = optional<ProcessIdentity>(j, "targetApp");
    s.baselineFootprintBytes = optional<std::uint64_t>(j, "baselineFootprintBytes");
    s.peakFootprintBytes = optional<std::uint64_t>(j, "peakFootprintBytes");
    s.settledFootprintBytes = optional<std::uint64_t>(j, "settledFootprintBytes");
    s.baselineSystem = optional<SystemMemorySnapshot>(j, "baselineSystem");
    s.peakSystem = optional<SystemMemorySnapshot>(j, "peakSystem");
    s.settledSystem = optional<SystemMemorySnapshot>(j, "settledSystem");
    return s;
}

}  // namespace velmora
