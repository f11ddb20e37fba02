#include "ui/main/trends/TrendsRules.h"

#include <algorithm>
#include <map>

#include "app/WeeklyDigest.h"
#include "engine/stories/Phrasing.h"
#include "engine/support/ByteMath.h"

namespace velmora {

namespace {

std::int64_t nonNegative(std::int64_t v) { return v < 0 ? 0 : v; }

}  // namespace

std::string dayLabel(const std::string& dateKey) {
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const auto day = parseDayKey(dateKey);
    if (!day) return dateKey;
    return std::string(months[day->month - 1]) + " " + std::to_string(day->day);
}

TrendsView trendsView(const std::vector<DailyStat>& recentDays, const std::string& todayKey, int rangeDays) {
    TrendsView view;
    std::vector<DailyAppStat> totals;
    std::map<std::string, std::size_t> index;
    for (const auto& row : recentDays) {
        if (row.dateKey > todayKey) continue;
        TrendsDay day;
        day.dateKey = row.dateKey;
        day.label = dayLabel(row.dateKey);
        day.stories = nonNegative(row.storyCount);
        const auto pressure = nonNegative(saturatingAdd(nonNegative(row.pressureWarningSeconds),
                                                        nonNegative(row.pressureCriticalSeconds)));
        day.pressureMinutes = pressure / 60;
        if (pressure >= 1) ++view.tightDays;
        view.totalStories = saturatingAdd(view.totalStories, day.stories);
        view.days.push_back(std::move(day));
        for (const auto& app : row.apps) {
            auto [it, inserted] = index.try_emplace(app.groupingKey, totals.size());
            if (inserted) {
                totals.push_back(app);
                totals.back().storyCount = nonNegative(app.storyCount);
                totals.back().totalGrowthBytes = nonNegative(app.totalGrowthBytes);
            } else {
                auto& into = totals[it->second];
                into.storyCount = saturatingAdd(into.storyCount, nonNegative(app.storyCount));
                into.totalGrowthBytes = saturatingAdd(into.totalGrowthBytes, nonNegative(app.totalGrowthBytes));
            }
        }
    }
    std::stable_sort(totals.begin(), totals.end(), [](const DailyAppStat& a, const DailyAppStat& b) {
        return a.totalGrowthBytes > b.totalGrowthBytes;
    });
    if (totals.size() > 8) totals.resize(8);
    view.summary = WeeklyDigest::topFactorSentence(totals, view.totalStories, rangeDays);
    view.tightSentence = WeeklyDigest::tightDaysSentence(view.tightDays, rangeDays);
    for (const auto& app : totals) {
        view.offenders.push_back({app.groupingKey, friendlyAppName(app.displayName),
                                  std::to_string(app.storyCount) + (app.storyCount == 1 ? " story" : " stories"),
                                  "+" + formatBytes(static_cast<std::uint64_t>(app.totalGrowthBytes))});
    }
    return view;
}

}  // namespace velmora
