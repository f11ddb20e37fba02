#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/sampling/ProcessIdentity.h"
#include "engine/sampling/SystemMemorySnapshot.h"
#include "engine/support/Json.h"

namespace velmora {

// Where one "Check one action" run stands.
enum class MeasurePhase { idle, baselining, recording, settling, report };

template <>
struct EnumNames<MeasurePhase> {
    static constexpr std::array<std::string_view, 5> names{"idle", "baselining", "recording", "settling", "report"};
};

// One "Check one action" run: its phase, its moments, the measured app and what was seen of it.
struct MeasurementSession {
    Uuid id;
    MeasurePhase phase = MeasurePhase::idle;
    std::optional<Date> startedAt;  // moved to the start of recording when baselining ends
    std::optional<Date> actionEndedAt;
    std::optional<Date> settledAt;
    std::optional<ProcessIdentity> targetApp;
    std::optional<std::uint64_t> baselineFootprintBytes;
    std::optional<std::uint64_t> peakFootprintBytes;
    std::optional<std::uint64_t> settledFootprintBytes;
    std::optional<SystemMemorySnapshot> baselineSystem;
    std::optional<SystemMemorySnapshot> peakSystem;  // at the last sample that saw the target
    std::optional<SystemMemorySnapshot> settledSystem;

    // A new idle run with nothing measured.
    static MeasurementSession fresh();
    // A new run that begins its baseline now.
    static MeasurementSession started(Date now);

    // Seconds from the start of recording to the accepted Done; absent unless both are known.
    std::optional<double> actionDuration() const;

    bool operator==(const MeasurementSession&) const = default;

    static constexpr auto jsonFields = std::tuple{
        jsonField("id", &MeasurementSession::id),
        jsonField("phase", &MeasurementSession::phase),
        jsonField("startedAt", &MeasurementSession::startedAt),
        jsonField("actionEndedAt", &MeasurementSession::actionEndedAt),
        jsonField("settledAt", &MeasurementSession::settledAt),
        jsonField("targetApp", &MeasurementSession::targetApp),
        jsonField("baselineFootprintBytes", &MeasurementSession::baselineFootprintBytes),
        jsonField("peakFootprintBytes", &MeasurementSession::peakFootprintBytes),
        jsonField("settledFootprintBytes", &MeasurementSession::settledFootprintBytes),
        jsonField("baselineSystem", &MeasurementSession::baselineSystem),
        jsonField("peakSystem", &MeasurementSession::peakSystem),
        jsonField("settledSystem", &MeasurementSession::settledSystem)};
    Json toJson() const;
    static MeasurementSession fromJson(const Json& j);
};

}  // namespace velmora
