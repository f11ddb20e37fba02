#include "engine/stories/DailyStatsStore.h"

#include <algorithm>
#include <limits>
#include <map>

#include "engine/support/ByteMath.h"
#include "platform/Calendar.h"
#include "platform/Clock.h"
#include "platform/Paths.h"

namespace velmora {

namespace {

// |delta| as a count; the one value with no signed magnitude is held at the largest.
std::int64_t releasedBytes(std::int64_t delta) {
    return static_cast<std::int64_t>(std::min<std::uint64_t>(byteMagnitude(delta), std::numeric_limits<std::int64_t>::max()));
}

// Adds one app entry into another of the same app; the first keeps its name.
void addInto(DailyAppStat& into, const DailyAppStat& from) {
    into.storyCount = saturatingAdd(into.storyCount, from.storyCount);
    into.totalGrowthBytes = saturatingAdd(into.totalGrowthBytes, from.totalGrowthBytes);
    into.totalReleasedBytes = saturatingAdd(into.totalReleasedBytes, from.totalReleasedBytes);
}

// One row per day: a later row of the same day is summed into the first.
std::vector<DailyStat> mergedByDay(std::vector<DailyStat> rows) {
    std::vector<DailyStat> out;
    std::map<std::string, std::size_t> index;
    for (auto& row : rows) {
        auto [it, inserted] = index.try_emplace(row.dateKey, out.size());
        if (inserted) {
            out.push_back(std::move(row));
            continue;
        }
        DailyStat& into = out[it->second];
        into.storyCount = saturatingAdd(into.storyCount, row.storyCount);
        into.pressureWarningSeconds = saturatingAdd(into.pressureWarningSeconds, row.pressureWarningSeconds);
        into.pressureCriticalSeconds = saturatingAdd(into.pressureCriticalSeconds, row.pressureCriticalSeconds);
        for (const auto& app : row.apps) {
            auto same = std::find_if(into.apps.begin(), into.apps.end(),
                                     [&](const DailyAppStat& a) { return a.groupingKey == app.groupingKey; });
            if (same == into.apps.end()) into.apps.push_back(app);
            else addInto(*same, app);
        }
    }
    return out;
}

}  // namespace

std::string DailyStatsStore::defaultStoragePath(const Paths& paths) {
    return paths.applicationSupportDirectory() + "/daily-stats.json";
}

DailyStatsStore::DailyStatsStore(FileSystem& files, std::string path, const Clock& clock, const Calendar& calendar)
    : clock_(clock), calendar_(calendar), file_(files, std::move(path)) {
    days_ = pruned(mergedByDay(file_.load<DailyStat>(clock_.now())));
}

std::optional<CalendarDay> DailyStatsStore::today() const { return calendar_.localDay(clock_.now()); }

std::vector<DailyStat> DailyStatsStore::pruned(std::vector<DailyStat> rows) const {
    const auto now = today();
    if (!now) return rows;
    const std::string cutoff = dayKey(addingDays(*now, -retentionDays));
    std::erase_if(rows, [&](const DailyStat& row) { return row.dateKey < cutoff; });
    std::stable_sort(rows.begin(), rows.end(), [](const DailyStat& a, const DailyStat& b) { return a.dateKey < b.dateKey; });
    return rows;
}

std::optional<std::size_t> DailyStatsStore::dayIndex(Date date) {
    const auto day = calendar_.localDay(date);
    if (!day) return std::nullopt;
    const std::string key = dayKey(*day);
    for (std::size_t i = 0; i < days_.size(); ++i)
        if (days_[i].dateKey == key) return i;
    days_.push_back(DailyStat{key, 0, 0, 0, {}});
    return days_.size() - 1;
}

void DailyStatsStore::recordStory(const std::optional<std::string>& appKey, const std::optional<std::string>& appName,
                                  std::int64_t deltaBytes, Date date) {
    const auto index = dayIndex(date);
    if (!index) return;
    DailyStat& row = days_[*index];
    row.storyCount = saturatingAdd(row.storyCount, std::int64_t{1});
    if (appKey && appName) {
        const std::int64_t growth = deltaBytes > 0 ? deltaBytes : 0;
        const std::int64_t released = deltaBytes < 0 ? releasedBytes(deltaBytes) : 0;
        auto entry = std::find_if(row.apps.begin(), row.apps.end(),
                                  [&](const DailyAppStat& a) { return a.groupingKey == *appKey; });
        if (entry == row.apps.end()) row.apps.push_back(DailyAppStat{*appKey, *appName, 1, growth, released});
        else addInto(*entry, DailyAppStat{*appKey, *appName, 1, growth, released});
    }
    changed();
    save();
}

void DailyStatsStore::recordPressureTick(MemoryPressureLevel level, Date date) {
    if (level == MemoryPressureLevel::normal) return;
    const auto index = dayIndex(date);
    if (!index) return;
    DailyStat& row = days_[*index];
    if (level == MemoryPressureLevel::critical) row.pressureCriticalSeconds = saturatingAdd(row.pressureCriticalSeconds, std::int64_t{1});
    else row.pressureWarningSeconds = saturatingAdd(row.pressureWarningSeconds, std::int64_t{1});
    changed();
    if (++pressureTicksSincePersist_ >= pressureTicksPerSave) {
        pressureTicksSincePersist_ = 0;
        save();
    }
}

std::vector<DailyAppStat> DailyStatsStore::appTotals(int dayCount) const {
    const auto now = today();
    if (!now) return {};
    const std::string startKey = dayKey(addingDays(*now, 1 - static_cast<std::int64_t>(dayCount)));
    std::vector<DailyAppStat> totals;
    std::map<std::string, std::size_t> index;
    for (const auto& row : days_) {
        if (row.dateKey < startKey) continue;
        for (const auto& app : row.apps) {
            auto [it, inserted] = index.try_emplace(app.groupingKey, totals.size());
            if (inserted) totals.push_back(app);
            else addInto(totals[it->second], app);
        }
    }
    std::stable_sort(totals.begin(), totals.end(),
                     [](const DailyAppStat& a, const DailyAppStat& b) { return a.totalGrowthBytes > b.totalGrowthBytes; });
    return totals;
}

std::vector<DailyStat> DailyStatsStore::recentDays(int dayCount) const {
    std::vector<DailyStat> out;
    const auto now = today();
    if (dayCount <= 0 || !now) return out;
    std::map<std::string, const DailyStat*> byKey;
    for (const auto& row : days_) byKey.try_emplace(row.dateKey, &row);
    out.reserve(static_cast<std::size_t>(dayCount));
    for (int i = dayCount - 1; i >= 0; --i) {
        const std::string key = dayKey(addingDays(*now, -i));
        auto it = byKey.find(key);
        out.push_back(it != byKey.end() ? *it->second : DailyStat{key, 0, 0, 0, {}});
    }
    return out;
}

bool DailyStatsStore::save() { return file_.save(pruned(days_)); }

}  // namespace velmora
