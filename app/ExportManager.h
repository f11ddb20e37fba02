#pragma once
#include <optional>
#include <string>
#include <vector>

#include "engine/sampling/SystemMemorySnapshot.h"
#include "engine/stories/DailyStat.h"
#include "engine/stories/TimelineEvent.h"

namespace velmora {

class AppState;
class Calendar;

// Everything the system knows, as one JSON file for a person or an assistant to read. Never read back.
namespace ExportManager {

struct Meta {
    Date exportedAt;
    std::string appVersion;
    std::string notes;
    bool operator==(const Meta&) const = default;
};

struct CurrentApp {
    std::string displayName;
    std::uint64_t footprintBytes = 0;
    bool isForeground = false;
    bool operator==(const CurrentApp&) const = default;
};

struct CurrentSnapshot {
    std::optional<SystemMemorySnapshot> system;
    std::vector<CurrentApp> apps;
    bool operator==(const CurrentSnapshot&) const = default;
};

struct Export {
    Meta meta;
    std::vector<TimelineEvent> stories;
    std::vector<DailyStat> dailyStats;
    CurrentSnapshot currentSnapshot;
    bool operator==(const Export&) const = default;
};

extern const char* const notes;

Export makeExport(const AppState& state);
// Pretty-printed, keys sorted, dates in ISO 8601; a number JSON cannot hold is written as zero, as
// the stored files write it. None when it cannot be encoded.
std::optional<std::string> encode(const Export& data);
std::optional<std::string> exportData(const AppState& state);
// "Velmora-Export-yyyy-MM-dd-HHmm.json" in local time.
std::string suggestedFileName(Date date, const Calendar& calendar);

}  // namespace ExportManager

}  // namespace velmora
