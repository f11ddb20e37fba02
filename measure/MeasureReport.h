#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "engine/sampling/ProcessIdentity.h"
#include "engine/sampling/SystemMemorySnapshot.h"
#include "engine/stories/TimelineEvent.h"
#include "engine/support/ByteMath.h"
#include "engine/support/Json.h"
#include "measure/MeasurementSession.h"

namespace velmora {

// The result of one finished "Check one action" run.
struct MeasureReport {
    Uuid id;  // the run's id
    Date createdAt;
    std::optional<ProcessIdentity> targetApp;
    std::optional<double> actionDuration;  // seconds
    std::optional<std::uint64_t> beforeBytes;
    std::optional<std::uint64_t> peakBytes;
    std::optional<std::uint64_t> settledBytes;
    std::optional<std::int64_t> lastingImpactBytes;  // settled minus before; negative when lighter
    std::optional<MemoryPressureLevel> pressureBefore;
    std::optional<MemoryPressureLevel> pressureAfter;
    std::optional<std::int64_t> swapAddedBytes;  // negative when swap use fell
    ConfidenceLevel confidence = ConfidenceLevel::low;
    std::string summary;

    // Builds the report of a session, dated `now`.
    static MeasureReport make(const MeasurementSession& session, ConfidenceLevel confidence, std::string summary,
                              Date now);

    bool operator==(const MeasureReport&) const = default;

    static constexpr auto jsonFields = std::tuple{
        jsonField("id", &MeasureReport::id),
        jsonField("createdAt", &MeasureReport::createdAt),
        jsonField("targetApp", &MeasureReport::targetApp),
        jsonField("actionDuration", &MeasureReport::actionDuration),
        jsonField("beforeBytes", &MeasureReport::beforeBytes),
        jsonField("peakBytes", &MeasureReport::peakBytes),
        jsonField("settledBytes", &MeasureReport::settledBytes),
        jsonField("lastingImpactBytes", &MeasureReport::lastingImpactBytes),
        jsonField("pressureBefore", &MeasureReport::pressureBefore),
        jsonField("pressureAfter", &MeasureReport::pressureAfter),
        jsonField("swapAddedBytes", &MeasureReport::swapAddedBytes),
        jsonField("confidence", &MeasureReport::confidence),
        jsonField("summary", &MeasureReport::summary)};
    Json toJson() const;
    static MeasureReport fromJson(const Json& j);
};


}  // namespace velmora
