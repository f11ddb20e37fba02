#include "platform/linux/LocalCalendar.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace velmora {

namespace {
// Far beyond any date the application meets, and well inside what time_t and struct tm hold.
constexpr double maxUnixSeconds = 1e13;

// The zone file a TZ value names: "/etc/localtime" when unset, an absolute path as it is, a zone
// name under TZDIR (else /usr/share/zoneinfo); empty for a rule such as "UTC0".
std::string zoneFile(const char* tz, const char* tzdir) {
    if (!tz) return "/etc/localtime";
    std::string name = tz[0] == ':' ? tz + 1 : tz;
    if (name.empty()) return {};
    if (name.front() == '/') return name;
    // A zone name has no rule characters; "CET-1CEST,M3.5.0" names no file.
    if (name.find_first_of(",<>") != std::string::npos || name.find("..") != std::string::npos) return {};
    std::string dir = tzdir && tzdir[0] == '/' ? tzdir : "/usr/share/zoneinfo";
    return dir + "/" + name;
}

}  // namespace

void LocalCalendar::followZone() const {
    const std::string path = zoneFile(std::getenv("TZ"), std::getenv("TZDIR"));
    FileIdentity now;
    struct stat st;
    if (!path.empty() && ::stat(path.c_str(), &st) == 0)
        now = {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim};
    const bool same = now.present == zone_.present && now.device == zone_.device && now.inode == zone_.inode &&
                      now.size == zone_.size && now.modified.tv_sec == zone_.modified.tv_sec &&
                      now.modified.tv_nsec == zone_.modified.tv_nsec;
    if (followed_ && same) {
        ::tzset();  // picks up a changed TZ
        return;
    }
    followed_ = true;
    zone_ = now;
    // The C library keeps its zone while TZ reads the same; a moment under another value makes it
    // read the file again.
    const char* tz = std::getenv("TZ");
    const std::string saved = tz ? tz : "";
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    if (tz) ::setenv("TZ", saved.c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();
}

std::optional<LocalTime> LocalCalendar::localTime(Date date) const {
    const double unix = std::floor(date.unixSeconds());
    if (!std::isfinite(unix) || std::fabs(unix) > maxUnixSeconds) return std::nullopt;
    followZone();
    const std::time_t t = static_cast<std::time_t>(unix);
    std::tm tm{};
    if (!::localtime_r(&t, &tm)) return std::nullopt;
    return LocalTime{CalendarDay{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday}, tm.tm_hour, tm.tm_min};
}

std::optional<CalendarDay> LocalCalendar::localDay(Date date) const {
    const auto time = localTime(date);
    return time ? std::optional(time->day) : std::nullopt;
}

std::optional<Date> LocalCalendar::startOfDay(CalendarDay day) const {
    if (!isValidCalendarDay(day) || day.year < -100000 || day.year > 100000) return std::nullopt;
    followZone();
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
