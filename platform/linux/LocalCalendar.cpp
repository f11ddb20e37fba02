#include "platform/linux/LocalCalendar.h"

#include <cmath>
#include <ctime>
#include <limits>

namespace velmora {

namespace {
// Far beyond any date the application meets, and well inside what time_t and struct tm hold.
constexpr double maxUnixSeconds = 1e13;
}  // namespace

std::optional<CalendarDay> LocalCalendar::localDay(Date date) const {
    const double unix = std::floor(date.unixSeconds());
    if (!std::isfinite(unix) || std::fabs(unix) > maxUnixSeconds) return std::nullopt;
    ::tzset();  // localtime_r alone does not notice a changed TZ
    const std::time_t t = static_cast<std::time_t>(unix);
    std::tm tm{};
    if (!::localtime_r(&t, &tm)) return std::nullopt;
    return CalendarDay{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

std::optional<Date> LocalCalendar::startOfDay(CalendarDay day) const {
    if (!isValidCalendarDay(day) || day.year < -100000 || day.year > 100000) return std::nullopt;
    ::tzset();
    std::tm tm{};
    tm.tm_year = day.year - 1900;
    tm.tm_mon = day.month - 1;
    tm.tm_mday = day.day;
    tm.tm_isdst = -1;  // let the zone decide
    const std::time_t t = std::mktime(&tm);
    // -1 is also one second before 1970; the normalised fields tell the two apart.
    if (t == static_cast<std::time_t>(-1) && !(tm.tm_year == 69 && tm.tm_mon == 11 && tm.tm_mday == 31)) return std::nullopt;
    return Date::fromUnix(static_cast<double>(t));
}

}  // namespace velmora
