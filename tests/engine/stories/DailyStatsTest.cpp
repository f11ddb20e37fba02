#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <limits>

#include "engine/stories/DailyStatsStore.h"
#include "platform/linux/LocalCalendar.h"
#include "platform/linux/PosixFileSystem.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/TempDir.h"

using namespace velmora;

namespace {

constexpr std::int64_t MiB = 1024 * 1024;

// Runs a test in a named time zone and puts the previous one back afterwards.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) previous_ = old;
        set(zone);
    }
    ~ScopedTimeZone() {
        if (previous_) set(previous_->c_str());
        else {
            ::unsetenv("TZ");
            ::tzset();
        }
    }
    static void set(const char* zone) {
        ::setenv("TZ", zone, 1);
        ::tzset();
    }

private:
    std::optional<std::string> previous_;
};

// A wall-clock time in the current zone.
Date local(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return Date::fromUnix(static_cast<double>(std::mktime(&tm)));
}

// Refuses to move files, as a full or read-only disk would.
class NoMoveFileSystem final : public FileSystem {
public:
    ReadResult read(const std::string& path) const override { return real.read(path); }
    bool writeAtomically(const std::string& path, const std::string& contents) override {
        ++writes;
        return real.writeAtomically(path, contents);
    }
    bool move(const std::string&, const std::string&) override { return false; }
    bool exists(const std::string& path) const override { return real.exists(path); }
    PosixFileSystem real;
    int writes = 0;
};

class DailyStatsTest : public ::testing::Test {
protected:
    DailyStatsTest() : zone_("Europe/Berlin") { clock.set(local(2026, 6, 15, 12, 0, 0)); }

    DailyStatsStore open() { return DailyStatsStore(fs, path(), clock, calendar); }
    std::string path() const { return dir.file("daily-stats.json"); }
    Json file() const {
        auto r = fs.read(path());
        if (r.status != FileSystem::ReadStatus::ok) return Json();
        return parseJson(r.contents).value_or(Json("unparseable"));
    }
    void writeFile(const std::string& contents) { ASSERT_TRUE(fs.writeAtomically(path(), contents)); }
    std::vector<std::string> setAsideFiles() const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            if (e.path().filename().string().starts_with("daily-stats.json.bad-")) out.push_back(e.path().string());
        return out;
    }
    static std::vector<std::string> keys(const std::vector<DailyStat>& rows) {
        std::vector<std::string> out;
        for (const auto& r : rows) out.push_back(r.dateKey);
        return out;
    }
    static Json row(const std::string& key, int stories, Json apps = Json::array()) {
        return Json{{"dateKey", key}, {"storyCount", stories}, {"pressureWarningSeconds", 0}, {"pressureCriticalSeconds", 0}, {"apps", apps}};
    }
    static Json app(const std::string& key, const std::string& name, int stories, std::int64_t growth, std::int64_t released) {
        return Json{{"groupingKey", key}, {"displayName", name}, {"storyCount", stories}, {"totalGrowthBytes", growth}, {"totalReleasedBytes", released}};
    }

    ScopedTimeZone zone_;
    TempDir dir;
    PosixFileSystem fs;
    FakeClock clock;
    LocalCalendar calendar;
};

TEST(DayKeyTest, FormatsAndParsesOnlyRealDays) {
    EXPECT_EQ(dayKey({2026, 3, 9}), "2026-03-09");
    EXPECT_EQ(dayKey({987, 12, 31}), "0987-12-31");
    EXPECT_EQ(parseDayKey("2024-02-29"), (CalendarDay{2024, 2, 29}));
    for (const char* bad : {"2023-02-29", "2026-13-01", "2026-00-10", "2026-1-10", "2026-01-10 ", "20260110", "+026-01-10", "2026-01-32", ""})
        EXPECT_FALSE(parseDayKey(bad).has_value()) << bad;
    EXPECT_EQ(addingDays({2024, 3, 1}, -1), (CalendarDay{2024, 2, 29}));
    EXPECT_EQ(addingDays({2026, 12, 31}, 1), (CalendarDay{2027, 1, 1}));
    EXPECT_EQ(addingDays({2026, 6, 15}, -120), (CalendarDay{2026, 2, 15}));
}

TEST_F(DailyStatsTest, StoriesEitherSideOfMidnightAndAcrossClockChanges) {
    struct Case {
        const char* zone;
        Date first, second;
        const char *firstKey, *secondKey;
    };
    // Dates are built inside the zone, so build them after switching.
    const auto cases = [] {
        std::vector<Case> out;
        ScopedTimeZone::set("Europe/Berlin");
        out.push_back({"Europe/Berlin", local(2026, 6, 15, 23, 59, 59), local(2026, 6, 16, 0, 0, 0), "2026-06-15", "2026-06-16"});
        // The 23-hour day of the spring change and the 25-hour day of the autumn one.
        out.push_back({"Europe/Berlin", local(2026, 3, 29, 0, 30, 0), local(2026, 3, 29, 23, 30, 0), "2026-03-29", "2026-03-29"});
        out.push_back({"Europe/Berlin", local(2026, 10, 25, 0, 0, 0), local(2026, 10, 25, 23, 59, 59), "2026-10-25", "2026-10-25"});
        ScopedTimeZone::set("Asia/Kolkata");
        out.push_back({"Asia/Kolkata", local(2026, 1, 1, 23, 59, 59), local(2026, 1, 2, 0, 0, 0), "2026-01-01", "2026-01-02"});
        ScopedTimeZone::set("America/New_York");
        out.push_back({"America/New_York", local(2026, 11, 1, 23, 59, 59), local(2026, 11, 2, 0, 0, 0), "2026-11-01", "2026-11-02"});
        return out;
    }();
    for (const auto& c : cases) {
        ScopedTimeZone::set(c.zone);
        std::filesystem::remove(path());
        auto store = open();
        store.recordStory(std::nullopt, std::nullopt, 0, c.first);
        store.recordStory(std::nullopt, std::nullopt, 0, c.second);
        std::vector<std::string> expected{c.firstKey};
        if (std::string(c.secondKey) != c.firstKey) expected.push_back(c.secondKey);
        EXPECT_EQ(keys(store.days()), expected) << c.zone << " " << c.firstKey;
    }
}

TEST_F(DailyStatsTest, RecentDaysCountCalendarDaysOverAShortDay) {
    // Half an hour into the day after the 23-hour day: stepping back 24-hour blocks would skip 29 March.
    clock.set(local(2026, 3, 30, 0, 30, 0));
    auto store = open();
    const auto rows = store.recentDays(3);
    EXPECT_EQ(keys(rows), (std::vector<std::string>{"2026-03-28", "2026-03-29", "2026-03-30"}));
    clock.set(local(2026, 10, 26, 23, 30, 0));  // the evening after the 25-hour day
    EXPECT_EQ(keys(store.recentDays(3)), (std::vector<std::string>{"2026-10-24", "2026-10-25", "2026-10-26"}));
    EXPECT_TRUE(store.recentDays(0).empty());
    EXPECT_TRUE(store.days().empty());
}

TEST_F(DailyStatsTest, ATimeZoneChangeKeysLaterStoriesInTheNewZone) {
    auto store = open();
    const Date moment = local(2026, 6, 15, 1, 30, 0);  // 23:30 UTC on the 14th
    store.recordStory(std::nullopt, std::nullopt, 0, moment);
    ScopedTimeZone::set("UTC");
    store.recordStory(std::nullopt, std::nullopt, 0, moment);
    EXPECT_EQ(keys(store.days()), (std::vector<std::string>{"2026-06-15", "2026-06-14"}));
}

TEST_F(DailyStatsTest, StoryCountsGrowthAndRelease) {
    auto store = open();
    const Date now = clock.now();
    store.recordStory(std::nullopt, std::nullopt, 500 * MiB, now);             // no app: the day only
    store.recordStory(std::string("chrome"), std::nullopt, 500 * MiB, now);    // a key without a name counts as no app
    store.recordStory(std::string("mail"), std::string("Mail"), -100 * MiB, now);
    store.recordStory(std::string("chrome"), std::string("Chrome"), 0, now);
    store.recordStory(std::string("chrome"), std::string("Google Chrome"), 300 * MiB, now);
    store.recordStory(std::string("mail"), std::string("Mail"), 40 * MiB, now);

    ASSERT_EQ(store.days().size(), 1u);
    const DailyStat& day = store.days()[0];
    EXPECT_EQ(day.storyCount, 6);
    EXPECT_EQ(day.apps, (std::vector<DailyAppStat>{{"mail", "Mail", 2, 40 * MiB, 104857600}, {"chrome", "Chrome", 2, 300 * MiB, 0}}));
    // Every story is written at once.
    EXPECT_EQ(file(), encode(store.days()));
    EXPECT_EQ(open().days(), store.days());
}

TEST_F(DailyStatsTest, DeltasAtTheEdgesOfTheRangeDoNotWrap) {
    auto store = open();
    const Date now = clock.now();
    const auto max = std::numeric_limits<std::int64_t>::max();
    store.recordStory(std::string("a"), std::string("A"), std::numeric_limits<std::int64_t>::min(), now);
    store.recordStory(std::string("a"), std::string("A"), -5, now);
    store.recordStory(std::string("a"), std::string("A"), max, now);
    store.recordStory(std::string("a"), std::string("A"), 7, now);
    EXPECT_EQ(store.days()[0].apps[0], (DailyAppStat{"a", "A", 4, max, max}));
}

TEST_F(DailyStatsTest, PressureTicksAreWrittenEverySixtiethTightSecond) {
    auto store = open();
    const Date now = clock.now();
    for (int i = 0; i < 59; ++i) {
        store.recordPressureTick(i % 2 ? MemoryPressureLevel::warning : MemoryPressureLevel::critical, now);
        store.recordPressureTick(MemoryPressureLevel::normal, now);
    }
    EXPECT_FALSE(fs.exists(path()));
    EXPECT_EQ(store.pressureTicksSincePersist(), 59);
    store.recordPressureTick(MemoryPressureLevel::warning, now);
    EXPECT_EQ(store.pressureTicksSincePersist(), 0);
    ASSERT_TRUE(fs.exists(path()));
    EXPECT_EQ(file()[0]["pressureWarningSeconds"], 30);
    EXPECT_EQ(file()[0]["pressureCriticalSeconds"], 30);
    EXPECT_EQ(file()[0]["storyCount"], 0);
}

TEST_F(DailyStatsTest, AppTotalsCoverTodayAndTheDaysBefore) {
    writeFile(Json::array({row("2026-06-08", 1, {app("chrome", "Chrome", 1, 900 * MiB, 0)}),  // 7 days ago: outside
                           row("2026-06-09", 2, {app("chrome", "Chrome", 2, 100 * MiB, 5), app("mail", "Mail", 1, 150 * MiB, 0)}),
                           row("2026-06-15", 1, {app("chrome", "Google Chrome", 1, 70 * MiB, 10)}),
                           row("2026-06-16", 1, {app("zoom", "Zoom", 1, 1, 0)})})  // tomorrow: counted
                  .dump());
    auto store = open();
    const auto totals = store.appTotals(7);
    EXPECT_EQ(totals, (std::vector<DailyAppStat>{{"chrome", "Chrome", 3, 170 * MiB, 15}, {"mail", "Mail", 1, 150 * MiB, 0}, {"zoom", "Zoom", 1, 1, 0}}));
    EXPECT_EQ(store.appTotals(1).size(), 2u);  // today and tomorrow
}

TEST_F(DailyStatsTest, RecentDaysFillGapsWithoutStoringThem) {
    writeFile(Json::array({row("2026-06-13", 4)}).dump());
    auto store = open();
    const auto rows = store.recentDays(7);
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows.front().dateKey, "2026-06-09");
    EXPECT_EQ(rows.back().dateKey, "2026-06-15");
    for (const auto& r : rows) {
        EXPECT_EQ(r.storyCount, r.dateKey == "2026-06-13" ? 4 : 0) << r.dateKey;
        EXPECT_TRUE(r.apps.empty());
    }
    EXPECT_EQ(store.days().size(), 1u);
}

TEST_F(DailyStatsTest, RowsOlderThan120DaysLeaveOnLoadAndAtSave) {
    // 15 June minus 120 days is 15 February.
    writeFile(Json::array({row("2026-06-15", 1), row("2026-02-14", 9), row("2026-02-15", 2), row("2026-05-01", 3)}).dump());
    auto store = open();
    EXPECT_EQ(keys(store.days()), (std::vector<std::string>{"2026-02-15", "2026-05-01", "2026-06-15"}));
    EXPECT_EQ(store.days()[0].date(calendar, clock.now()), local(2026, 2, 15, 0, 0, 0));

    clock.set(local(2026, 6, 16, 9, 0, 0));
    store.recordStory(std::nullopt, std::nullopt, 0, clock.now());
    // The file drops the day that aged out; memory keeps it until the next start.
    EXPECT_EQ(file().size(), 3u);
    EXPECT_EQ(file()[0]["dateKey"], "2026-05-01");
    EXPECT_EQ(store.days().size(), 4u);
    EXPECT_EQ(open().days().size(), 3u);
}

TEST_F(DailyStatsTest, DuplicateDaysAreSummedOnLoad) {
    writeFile(Json::array({row("2026-06-15", 2, {app("chrome", "Chrome", 2, 100, 1)}),
                           row("2026-06-14", 1),
                           row("2026-06-15", 3, {app("mail", "Mail", 1, 5, 0), app("chrome", "Chromium", 1, 20, 2)})})
                  .dump());
    auto store = open();
    ASSERT_EQ(keys(store.days()), (std::vector<std::string>{"2026-06-14", "2026-06-15"}));
    const DailyStat& day = store.days()[1];
    EXPECT_EQ(day.storyCount, 5);
    EXPECT_EQ(day.apps, (std::vector<DailyAppStat>{{"chrome", "Chrome", 3, 120, 3}, {"mail", "Mail", 1, 5, 0}}));
    // A story today lands in the one merged row.
    store.recordStory(std::nullopt, std::nullopt, 0, clock.now());
    EXPECT_EQ(store.days()[1].storyCount, 6);
    EXPECT_EQ(file().size(), 2u);
}

TEST_F(DailyStatsTest, BadRecordsAreSkippedAndTheFileKeptAside) {
    struct Case {
        const char* name;
        std::string contents;
        std::vector<std::string> kept;
    };
    const std::string good1 = row("2026-06-10", 1).dump(), good2 = row("2026-06-11", 2).dump();
    const Case cases[] = {
        {"missing field", "[" + good1 + ",{\"dateKey\":\"2026-06-12\",\"storyCount\":1,\"apps\":[]}," + good2 + "]", {"2026-06-10", "2026-06-11"}},
        {"not a day", "[" + good1 + "," + row("2026-02-30", 1).dump() + "," + good2 + "]", {"2026-06-10", "2026-06-11"}},
        {"bad app entry", "[" + row("2026-06-09", 1, {Json{{"groupingKey", "x"}}}).dump() + "," + good2 + "]", {"2026-06-11"}},
        {"cut off", "[" + good1 + "," + good2 + ",{\"dateKey\":\"2026-06-1", {"2026-06-10", "2026-06-11"}},
        {"broken middle", "[" + good1 + ",{\"dateKey\":}," + good2 + "]", {"2026-06-10", "2026-06-11"}},
        {"not an array", "{\"dateKey\":\"2026-06-10\"}", {}},
        {"not JSON", "\x01garbage", {}},
    };
    for (const auto& c : cases) {
        for (const auto& f : setAsideFiles()) std::filesystem::remove(f);
        writeFile(c.contents);
        auto store = open();
        EXPECT_EQ(keys(store.days()), c.kept) << c.name;
        const auto aside = setAsideFiles();
        ASSERT_EQ(aside.size(), 1u) << c.name;
        EXPECT_EQ(fs.read(aside[0]).contents, c.contents) << c.name;
        store.recordStory(std::nullopt, std::nullopt, 0, clock.now());
        EXPECT_EQ(file().size(), c.kept.size() + 1) << c.name;
        EXPECT_EQ(fs.read(aside[0]).contents, c.contents) << c.name;
    }
}

TEST_F(DailyStatsTest, AnUnreadableFileIsMovedAsideOrNeverOverwritten) {
    // A directory where the file should be cannot be read.
    std::filesystem::create_directory(path());
    {
        auto store = open();
        EXPECT_TRUE(store.days().empty());
        store.recordStory(std::nullopt, std::nullopt, 0, clock.now());
        EXPECT_EQ(file().size(), 1u);
        EXPECT_EQ(setAsideFiles().size(), 1u);
        EXPECT_TRUE(std::filesystem::is_directory(setAsideFiles()[0]));
    }
    NoMoveFileSystem noMove;
    std::filesystem::remove(path());
    std::filesystem::create_directory(path());
    DailyStatsStore store(noMove, path(), clock, calendar);
    store.recordStory(std::nullopt, std::nullopt, 0, clock.now());
    for (int i = 0; i < 60; ++i) store.recordPressureTick(MemoryPressureLevel::critical, clock.now());
    EXPECT_FALSE(store.save());
    EXPECT_EQ(noMove.writes, 0);
    EXPECT_TRUE(std::filesystem::is_directory(path()));
}

}  // namespace
