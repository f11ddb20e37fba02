#pragma once
#include <compare>
#include <string>

namespace velmora {

// A moment in time: seconds since 2001-01-01 00:00:00 UTC, the form the stored files use.
struct Date {
    double secondsSince2001 = 0;

    static constexpr double unixOffset = 978307200.0;  // 2001-01-01 in Unix seconds

    static Date fromUnix(double unixSeconds) { return Date{unixSeconds - unixOffset}; }
    double unixSeconds() const { return secondsSince2001 + unixOffset; }

    Date operator+(double seconds) const { return Date{secondsSince2001 + seconds}; }
    Date operator-(double seconds) const { return Date{secondsSince2001 - seconds}; }
    double operator-(Date other) const { return secondsSince2001 - other.secondsSince2001; }
    Date& operator+=(double seconds) { secondsSince2001 += seconds; return *this; }

    auto operator<=>(const Date&) const = default;
    bool operator==(const Date&) const = default;
};

// ISO 8601 in UTC with whole seconds, e.g. "2026-12-06T20:54:06Z".
std::string toIso8601(Date date);
// Reads the form above, with optional fraction and a "Z" or "+hh:mm" offset. False when malformed.
bool parseIso8601(const std::string& text, Date& out);

// Shortest decimal text that reads back as the same double, independent of the C locale.
std::string formatDouble(double value);

}  // namespace velmora
