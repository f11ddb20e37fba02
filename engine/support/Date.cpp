#include "engine/support/Date.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace velmora {

namespace {

// Days since 1970-01-01 for a proleptic Gregorian civil date (Howard Hinnant's algorithm).
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void civilFromDays(long long z, long long& y, unsigned& m, unsigned& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

bool readInt(const char*& p, const char* end, int digits, int& out) {
    if (end - p < digits) return false;
    auto r = std::from_chars(p, p + digits, out);
    if (r.ec != std::errc() || r.ptr != p + digits) return false;
    p += digits;
    return true;
}

}  // namespace

std::string toIso8601(Date date) {
    double unix = date.unixSeconds();
    if (!std::isfinite(unix)) unix = 0;
    // Years 0001 to 9999 only: a date beyond them (a damaged file) would not fit the integer below.
    unix = std::clamp(unix, -62135596800.0, 253402300799.0);
    const long long secs = static_cast<long long>(std::floor(unix));
    long long days = secs / 86400;
    long long rem = secs % 86400;
    if (rem < 0) { rem += 86400; days -= 1; }
    long long y; unsigned m, d;
    civilFromDays(days, y, m, d);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02lld:%02lld:%02lldZ", y, m, d, rem / 3600, (rem / 60) % 60,
                  rem % 60);
    return buf;
}

bool parseIso8601(const std::string& text, Date& out) {
    const char* p = text.data();
    const char* end = p + text.size();
    int y, mo, d, h, mi, s;
    if (!readInt(p, end, 4, y) || p == end || *p++ != '-' || !readInt(p, end, 2, mo) || p == end || *p++ != '-' ||
        !readInt(p, end, 2, d) || p == end || *p++ != 'T' || !readInt(p, end, 2, h) || p == end || *p++ != ':' ||
        !readInt(p, end, 2, mi) || p == end || *p++ != ':' || !readInt(p, end, 2, s))
        return false;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60) return false;
    double fraction = 0;
    if (p != end && *p == '.') {
        const char* start = p;
        ++p;
        while (p != end && *p >= '0' && *p <= '9') ++p;
        if (p - start < 2) return false;
        double scale = 0.1;
        fraction = 0;
        for (const char* q = start + 1; q != p; ++q, scale /= 10) fraction += (*q - '0') * scale;
    }
    int offset = 0;
    if (p == end) return false;
    if (*p == 'Z') {
        ++p;
    } else if (*p == '+' || *p == '-') {
        const int sign = *p == '+' ? 1 : -1;
        ++p;
        int oh, om;
        if (!readInt(p, end, 2, oh) || p == end || *p++ != ':' || !readInt(p, end, 2, om)) return false;
        offset = sign * (oh * 3600 + om * 60);
    } else {
        return false;
    }
    if (p != end) return false;
    const long long days = daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
    const double unix = static_cast<double>(days * 86400 + h * 3600 + mi * 60 + s - offset) + fraction;
    out = Date::fromUnix(unix);
    return true;
}

std::string formatDouble(double value) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

}  // namespace velmora
