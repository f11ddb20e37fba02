#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/support/Json.h"
#include "platform/Calendar.h"

namespace velmora {

// One app's stories on one day.
struct DailyAppStat {
    std::string groupingKey;
    std::string displayName;  // the friendly name at the app's first story that day
    std::int64_t storyCount = 0;
    std::int64_t totalGrowthBytes = 0;
    std::int64_t totalReleasedBytes = 0;  // magnitudes of the releases

    const std::string& id() const { return groupingKey; }
    bool operator==(const DailyAppStat&) const = default;

    static constexpr auto jsonFields = std::tuple{
        jsonField("groupingKey", &DailyAppStat::groupingKey), jsonField("displayName", &DailyAppStat::displayName),
        jsonField("storyCount", &DailyAppStat::storyCount), jsonField("totalGrowthBytes", &DailyAppStat::totalGrowthBytes),
        jsonField("totalReleasedBytes", &DailyAppStat::totalReleasedBytes)};
    Json toJson() const;
    static DailyAppStat fromJson(const Json& j);
};

// One local calendar day's counters.
struct DailyStat {
    std::string dateKey;  // "yyyy-MM-dd" in the local calendar
    std::int64_t storyCount = 0;
    std::int64_t pressureWarningSeconds = 0;
    std::int64_t pressureCriticalSeconds = 0;
    std::vector<DailyAppStat> apps;  // in order of each app's first story

    const std::string& id() const { return dateKey; }
    bool operator==(const DailyStat&) const = default;

    // The start of the day, or `now` when the key is not a day.
    Date date(const Calendar& calendar, Date now) const;

    static constexpr auto jsonFields = std::tuple{
        jsonField("dateKey", &DailyStat::dateKey), jsonField("storyCount", &DailyStat::storyCount),
        jsonField("pressureWarningSeconds", &DailyStat::pressureWarningSeconds),
        jsonField("pressureCriticalSeconds", &DailyStat::pressureCriticalSeconds), jsonField("apps", &DailyStat::apps)};
    Json toJson() const;
    // Also rejects a `dateKey` that is not a real day.
    static DailyStat fromJson(const Json& j);
};

// "yyyy-MM-dd", the year at least four digits.
std::string dayKey(CalendarDay day);
// The day a key names; absent unless it has exactly the key's form and is a real date.
std::optional<CalendarDay> parseDayKey(std::string_view key);

}  // namespace velmora
