#include "engine/stories/DailyStat.h"

#include <charconv>

namespace velmora {

namespace {

void appendPadded(std::string& out, long long value, int width) {
    char buf[24];
    const bool negative = value < 0;
    const auto magnitude = negative ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, magnitude);
    const int digits = static_cast<int>(end - buf);
    if (negative) out.push_back('-');
    for (int i = digits; i < width; ++i) out.push_back('0');
    out.append(buf, end);
}

bool parseDigits(std::string_view text, int& out) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && ptr == text.data() + text.size();
}

}  // namespace

std::string dayKey(CalendarDay day) {
    std::string out;
    appendPadded(out, day.year, 4);
    out.push_back('-');
    appendPadded(out, day.month, 2);
    out.push_back('-');
    appendPadded(out, day.day, 2);
    return out;
}

std::optional<CalendarDay> parseDayKey(std::string_view key) {
    if (key.size() != 10 || key[4] != '-' || key[7] != '-') return std::nullopt;
    CalendarDay day;
    if (!parseDigits(key.substr(0, 4), day.year) || !parseDigits(key.substr(5, 2), day.month) ||
        !parseDigits(key.substr(8, 2), day.day))
        return std::nullopt;
    if (!isValidCalendarDay(day)) return std::nullopt;
    return day;
}

Date DailyStat::date(const Calendar& calendar, Date now) const {
    if (auto day = parseDayKey(dateKey))
        if (auto start = calendar.startOfDay(*day)) return *start;
    return now;
}

Json DailyAppStat::toJson() const { return encodeFields(*this); }

DailyAppStat DailyAppStat::fromJson(const Json& j) { return decodeFields<DailyAppStat>(j); }

Json DailyStat::toJson() const { return encodeFields(*this); }

DailyStat DailyStat::fromJson(const Json& j) {
    DailyStat s = decodeFields<DailyStat>(j);
    if (!parseDayKey(s.dateKey)) throw DecodeError("dateKey: not a day: " + s.dateKey);
    return s;
}

}  // namespace velmora
