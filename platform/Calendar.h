#pragma once
#include <compare>
#include <cstdint>
#include <optional>

#include "engine/support/Date.h"

namespace velmora {

// A day of the Gregorian calendar.
struct CalendarDay {
    int year = 2001;
    int month = 1;  // 1...12
    int day = 1;    // 1...31

    auto operator<=>(const CalendarDay&) const = default;
};

// A moment as the clock on the wall shows it.
struct LocalTime {
    CalendarDay day;
    int hour = 0;    // 0...23
    int minute = 0;  // 0...59

    bool operator==(const LocalTime&) const = default;
};

// The local calendar: the Gregorian calendar in the user's current time zone.
class Calendar {
public:
    virtual ~Calendar() = default;
    // The local day and time of `date` by the zone's rules, summer time included (the time since
    // midnight is not the time on a day the clocks change); absent like localDay.
    virtual std::optional<LocalTime> localTime(Date date) const = 0;
    // The local day that contains `date`; absent when the date is outside what the system can convert.
    virtual std::optional<CalendarDay> localDay(Date date) const = 0;
    // The first moment of a local day (midnight, or the first moment after a skipped midnight).
    virtual std::optional<Date> startOfDay(CalendarDay day) const = 0;
};

// Day arithmetic on the calendar itself, so a day is a day whatever the clocks did that night.
inline std::int64_t daysSinceCivilEpoch(CalendarDay d) {
    // Howard Hinnant's days_from_civil: days since 1970-01-01.
    const std::int64_t y = static_cast<std::int64_t>(d.year) - (d.month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (d.month + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + d.day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

inline CalendarDay civilDayFromEpochDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    return CalendarDay{static_cast<int>(year), month, day};
}

inline CalendarDay addingDays(CalendarDay d, std::int64_t days) {
    return civilDayFromEpochDays(daysSinceCivilEpoch(d) + days);
}

inline bool isValidCalendarDay(CalendarDay d) {
    if (d.month < 1 || d.month > 12 || d.day < 1) return false;
    static constexpr int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
    const int length = d.month == 2 && leap ? 29 : lengths[d.month - 1];
    return d.day <= length;
}

}  // namespace velmora
