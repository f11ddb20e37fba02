#include <gtest/gtest.h>

#include <array>
#include <limits>

#include "engine/stories/DailyStatsStore.h"
#include "platform/linux/LocalCalendar.h"
#include "tests/engine/settings/StoreFiles.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/TempDir.h"

using namespace velmora;

namespace {

constexpr std::int64_t MiB = 1024 * 1024;
using Keys = std::vector<std::string>;
using Days = std::vector<DailyStat>;

void setZone(const char* zone) { ::setenv("TZ", zone, 1); ::tzset(); }

// A wall-clock time in the current zone: year, month, day, hour, minute, second.
Date local(std::array<int, 6> d) {
    std::tm tm{.tm_sec = d[5], .tm_min = d[4], .tm_hour = d[3], .tm_mday = d[2], .tm_mon = d[1] - 1, .tm_year = d[0] - 1900, .tm_isdst = -1};
    return Date::fromUnix(static_cast<double>(std::mktime(&tm)));
}

Keys keys(const Days& rows) {
    Keys out;
    for (const auto& r : rows) out.push_back(r.dateKey);
    return out;
}

class DailyStatsTest : public ::testing::Test {
protected:
    DailyStatsTest() { setZone("Europe/Berlin"); clock.set(local({2026, 6, 15, 12})); }  // no test here needs the zone it started in
    DailyStatsStore open(bool fresh = false) {
        if (fresh) std::filesystem::remove(path);
        return DailyStatsStore(fs, path, clock, calendar);
    }
    void write(const Days& rows) { fs.writeAtomically(path, encode(rows).dump()); }
    std::vector<std::string> setAside() const { return filesStarting(dir.path(), "daily-stats.json.bad-"); }
    // A story without an app on the day of `at`.
    static void count(DailyStatsStore&& store, Date at) { count(store, at); }
    static void count(DailyStatsStore& store, Date at) { store.recordStory(std::nullopt, std::nullopt, 0, at); }

    TempDir dir;
    const std::string path = dir.file("daily-stats.json");
    RecordingFileSystem fs;
    FakeClock clock;
    LocalCalendar calendar;
};

TEST_F(DailyStatsTest, DaysFollowTheLocalCalendar) {
    struct Case { const char* zone; std::array<int, 6> first, second; Keys days; };
    const Case cases[] = {
        {"Europe/Berlin", {2026, 6, 15, 23, 59, 59}, {2026, 6, 16}, {"2026-06-15", "2026-06-16"}},
        {"Asia/Kolkata", {2026, 1, 1, 23, 59, 59}, {2026, 1, 2}, {"2026-01-01", "2026-01-02"}},
        // The 23-hour day of the spring change and the 25-hour day of the autumn one.
        {"Europe/Berlin", {2026, 3, 29, 0, 30}, {2026, 3, 29, 23, 30}, {"2026-03-29"}},
        {"Europe/Berlin", {2026, 10, 25}, {2026, 10, 25, 23, 59, 59}, {"2026-10-25"}},
    };
    for (const auto& c : cases) {
        setZone(c.zone);
        auto store = open(true);
        count(store, local(c.first)), count(store, local(c.second));
        EXPECT_EQ(keys(store.days()), c.days) << c.zone << " " << c.days[0];
    }
    // Recent days step by calendar days: half an hour after the 23-hour day, 24-hour steps would skip it.
    setZone("Europe/Berlin");
    clock.set(local({2026, 3, 30, 0, 30}));
    EXPECT_EQ(keys(open().recentDays(3)), (Keys{"2026-03-28", "2026-03-29", "2026-03-30"}));
}

TEST_F(DailyStatsTest, AZoneSetWhileRunningMovesLaterStoriesToItsDaysAndRowsKeepFieldOrder) {
    const std::string zone = dir.file("localtime");
    const auto zoneOf = [&](const char* name) { return fs.read(std::string("/usr/share/zoneinfo/") + name).contents; };
    fs.writeAtomically(zone, zoneOf("Asia/Tokyo"));
    setZone((":" + zone).c_str());
    const Date evening = Date::fromUnix(1781553600);  // 15 June 20:00 UTC: 16 June in Tokyo, 15 June in Los Angeles
    auto store = open();
    store.recordStory("mail", "Mail", 5, evening);
    EXPECT_EQ(fs.read(path).contents,
              R"([{"dateKey":"2026-06-16","storyCount":1,"pressureWarningSeconds":0,"pressureCriticalSeconds":0,)"
              R"("apps":[{"groupingKey":"mail","displayName":"Mail","storyCount":1,"totalGrowthBytes":5,"totalReleasedBytes":0}]}])");
    fs.writeAtomically(zone, zoneOf("America/Los_Angeles"));  // replaced, as setting a new zone does; TZ unchanged
    count(store, evening);
    EXPECT_EQ(keys(store.days()), (Keys{"2026-06-16", "2026-06-15"}));
}

TEST_F(DailyStatsTest, PressureIsWrittenEverySixtiethTightSecondAndStoriesAtOnce) {
    auto store = open();
    for (int i = 0; i < 59; ++i) {  // 59 tight seconds among normal ones
        store.recordPressureTick(MemoryPressureLevel::normal, clock.now());
        store.recordPressureTick(i < 40 ? MemoryPressureLevel::warning : MemoryPressureLevel::critical, clock.now());
    }
    EXPECT_FALSE(fs.exists(path));
    store.recordPressureTick(MemoryPressureLevel::critical, clock.now());
    EXPECT_EQ(open().days(), (Days{{"2026-06-15", 0, 40, 20, {}}}));

    const auto min = std::numeric_limits<std::int64_t>::min(), max = std::numeric_limits<std::int64_t>::max();
    const std::tuple<std::optional<std::string>, std::optional<std::string>, std::int64_t> stories[] = {
        {{}, {}, 500 * MiB}, {"chrome", {}, 500 * MiB},  // without an app or its name: the day only
        {"mail", "Mail", -100 * MiB}, {"chrome", "Chrome", 0}, {"chrome", "Google Chrome", 300 * MiB}, {"mail", "Mail", 40 * MiB},
        {"edge", "Edge", min}, {"edge", "Edge", -5}, {"edge", "Edge", max}, {"edge", "Edge", 7},
    };
    for (const auto& [key, name, delta] : stories) store.recordStory(key, name, delta, clock.now());
    const Days expected{
        {"2026-06-15", 10, 40, 20, {{"mail", "Mail", 2, 40 * MiB, 100 * MiB}, {"chrome", "Chrome", 2, 300 * MiB, 0}, {"edge", "Edge", 4, max, max}}}};
    EXPECT_EQ(store.days(), expected);
    EXPECT_EQ(open().days(), expected);
}

TEST_F(DailyStatsTest, LoadingDropsDaysOlderThan120AndSumsDuplicateDays) {
    // 15 June minus 120 days is 15 February.
    write({{"2026-06-15", 2, 1, 0, {{"chrome", "Chrome", 2, 100, 1}}}, {"2026-02-14", 9, 0, 0, {}}, {"2026-02-15", 2, 0, 0, {}},
           {"2026-06-15", 3, 0, 4, {{"mail", "Mail", 1, 5, 0}, {"chrome", "Chromium", 1, 20, 2}}}});
    auto store = open();
    EXPECT_EQ(store.days(), (Days{{"2026-02-15", 2, 0, 0, {}}, {"2026-06-15", 5, 1, 4, {{"chrome", "Chrome", 3, 120, 3}, {"mail", "Mail", 1, 5, 0}}}}));
    EXPECT_EQ(store.days()[0].date(calendar, clock.now()), local({2026, 2, 15}));
    clock.set(local({2026, 6, 16, 9}));
    count(store, clock.now());
    EXPECT_EQ(store.days().size(), 3u);  // memory keeps the day that aged out until the next start ...
    EXPECT_EQ(keys(open().days()), (Keys{"2026-06-15", "2026-06-16"}));  // ... the file drops it
}

TEST_F(DailyStatsTest, AppTotalsAndRecentDays) {
    write({{"2026-06-08", 1, 0, 0, {{"chrome", "Chrome", 1, 900 * MiB, 0}}},  // a week ago: outside
           {"2026-06-09", 4, 0, 0, {{"chrome", "Chrome", 2, 100 * MiB, 5}, {"mail", "Mail", 1, 150 * MiB, 0}}},
           {"2026-06-15", 1, 0, 0, {{"chrome", "Google Chrome", 1, 70 * MiB, 10}}},
           {"2026-06-16", 1, 0, 0, {{"zoom", "Zoom", 1, 1, 0}}}});  // tomorrow: counted
    auto store = open();
    EXPECT_EQ(store.appTotals(7), (std::vector<DailyAppStat>{{"chrome", "Chrome", 3, 170 * MiB, 15}, {"mail", "Mail", 1, 150 * MiB, 0}, {"zoom", "Zoom", 1, 1, 0}}));
    EXPECT_EQ(store.appTotals(1).size(), 2u);
    const auto rows = store.recentDays(7);
    EXPECT_EQ(keys(rows), (Keys{"2026-06-09", "2026-06-10", "2026-06-11", "2026-06-12", "2026-06-13", "2026-06-14", "2026-06-15"}));
    EXPECT_EQ(std::make_pair(rows[0].storyCount, rows[1]), std::make_pair(std::int64_t{4}, DailyStat{"2026-06-10", 0, 0, 0, {}}));
    EXPECT_EQ(store.days().size(), 4u);  // gaps are not stored
}

TEST_F(DailyStatsTest, BadRecordsAreSkippedAndAnUnreadableFileIsKeptAside) {
    const auto row = [](const char* day) { return encode(DailyStat{day, 1, 0, 0, {}}).dump(); };
    const std::string contents = "[" + row("2026-06-10") + R"(,{"dateKey":"2026-06-12","storyCount":1,"apps":[]},)" + row("2026-02-30") +
                                 R"(,{"dateKey":"2026-06-09","storyCount":1,"pressureWarningSeconds":0,"pressureCriticalSeconds":0,)"
                                 R"("apps":[{"groupingKey":"x"}]},)" + row("2026-06-11");
    fs.writeAtomically(path, contents);  // three bad records and no end
    count(open(), clock.now());
    EXPECT_EQ(keys(open().days()), (Keys{"2026-06-10", "2026-06-11", "2026-06-15"}));
    ASSERT_EQ(setAside().size(), 1u);
    EXPECT_EQ(fs.read(setAside()[0]).contents, contents);

    std::filesystem::remove(setAside()[0]), std::filesystem::remove(path), std::filesystem::create_directory(path);
    count(open(), clock.now());  // a folder cannot be read as the file
    EXPECT_EQ(keys(open().days()), (Keys{"2026-06-15"}));
    ASSERT_EQ(setAside().size(), 1u);
    EXPECT_TRUE(std::filesystem::is_directory(setAside()[0]));

    std::filesystem::remove(path), std::filesystem::create_directory(path);
    fs.refuseMoves = true;  // nothing is written over what could not be set aside
    const int writes = fs.writes;
    count(open(), clock.now());
    EXPECT_EQ(fs.writes, writes);
}

}  // namespace
