#pragma once
// What the trends page shows for a range of days, from the stored day rows. Qt-free; stored
// values are untrusted (any 64-bit number decodes), so every sum saturates and is held at 0.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/stories/DailyStat.h"

namespace velmora {

struct TrendsDay {
    std::string dateKey;
    std::string label;  // "Dec 7", from the key itself: no time zone is involved
    std::int64_t stories = 0;
    std::int64_t pressureMinutes = 0;
};

struct TrendsOffender {
    std::string groupingKey;
    std::string name;         // friendly
    std::string storiesText;  // "1 story", "0 stories"
    std::string growthText;   // "+" and the byte text, "+0 bytes" included
};

struct TrendsView {
    std::vector<TrendsDay> days;  // one per day of the range, today last
    std::int64_t totalStories = 0;
    int tightDays = 0;
    std::vector<TrendsOffender> offenders;  // at most 8, largest growth first
    std::string summary;
    std::optional<std::string> tightSentence;
    bool showSections() const { return totalStories > 0; }
    bool showMinutes() const { return tightDays >= 1; }
};

// `recentDays` holds the range's rows as the store gives them, oldest first, one per day up to
// `todayKey`; rows dated after today are left out of the days and of the offenders alike.
TrendsView trendsView(const std::vector<DailyStat>& recentDays, const std::string& todayKey, int rangeDays);

// "Dec 7" for "2026-12-07"; the key itself when it is not a day.
std::string dayLabel(const std::string& dateKey);

}  // namespace velmora
