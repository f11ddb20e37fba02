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

Json MeasurementSession::toJson() const { return encodeFields(*this); }

MeasurementSession MeasurementSession::fromJson(const Json& j) { return decodeFields<MeasurementSession>(j); }

}  // namespace velmora
