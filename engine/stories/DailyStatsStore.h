#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/sampling/SystemMemorySnapshot.h"
#include "engine/support/StoredArrayFile.h"
#include "engine/stories/DailyStat.h"

namespace velmora {

class Calendar;
class Clock;
class FileSystem;
class Paths;

// One row of counters per local calendar day, kept for 120 days in "daily-stats.json".
class DailyStatsStore {
public:
    static constexpr int retentionDays = 120;
    static constexpr int pressureTicksPerSave = 60;

    // "<application support>/daily-stats.json".
    static std::string defaultStoragePath(const Paths& paths);

    // Loads the file: rows older than 120 days are dropped, rows of the same day are summed into
    // one, and the rows are sorted by day.
    DailyStatsStore(FileSystem& files, std::string path, const Clock& clock, const Calendar& calendar);

    const std::vector<DailyStat>& days() const { return days_; }
    const std::string& storagePath() const { return file_.path(); }
    int pressureTicksSincePersist() const { return pressureTicksSincePersist_; }

    // Counts one story on the day of `date`; the app entry only when both key and name are given.
    // Saves.
    void recordStory(const std::optional<std::string>& appKey, const std::optional<std::string>& appName,
                     std::int64_t deltaBytes, Date date);
    // Counts one second of warning or critical pressure; saves after every 60th such second.
    void recordPressureTick(MemoryPressureLevel level, Date date);

    // Per-app totals over the last `dayCount` local days (today included), largest growth first.
    std::vector<DailyAppStat> appTotals(int dayCount) const;
    // Exactly `dayCount` rows, oldest first, with empty rows (not stored) for days without data.
    std::vector<DailyStat> recentDays(int dayCount) const;
    // The row of the day of `date`, created when missing; absent when the calendar cannot place it.
    std::optional<std::size_t> dayIndex(Date date);

    // Writes the rows of the last 120 days, oldest first. False when the write failed or was refused.
    bool save();

    // Announces every change of `days`.
    std::function<void()> onChange;

private:
    std::optional<CalendarDay> today() const;
    std::vector<DailyStat> pruned(std::vector<DailyStat> rows) const;
    void changed() {
        if (onChange) onChange();
    }

    const Clock& clock_;
    const Calendar& calendar_;
    StoredArrayFile file_;
    std::vector<DailyStat> days_;
    int pressureTicksSincePersist_ = 0;
};

}  // namespace velmora
