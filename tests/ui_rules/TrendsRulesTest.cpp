#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "ui/main/trends/TrendsRules.h"

namespace velmora {
namespace {

constexpr auto int64Max = std::numeric_limits<std::int64_t>::max();

// Thirty day rows ending on 2026-12-07, the last one today; `edit` fills some in.
std::vector<DailyStat> month() {
    std::vector<DailyStat> rows;
    for (int d = 8; d <= 30; ++d) rows.push_back({"2026-11-" + std::to_string(d), 0, 0, 0, {}});
    for (int d = 1; d <= 7; ++d) rows.push_back({"2026-12-0" + std::to_string(d), 0, 0, 0, {}});
    return rows;
}

DailyAppStat appStat(const std::string& key, std::int64_t stories, std::int64_t growth) {
    return {key, key, stories, growth, 0};
}

struct TrendsCase {
    const char* name;
    std::vector<DailyStat> rows;
    bool sections;
    bool minutes;
    std::string summary;
    std::string tight;  // empty: no second sentence
    std::size_t offenders;
};

class TrendsCaseTest : public ::testing::TestWithParam<TrendsCase> {};

TEST_P(TrendsCaseTest, ChoosesSectionsAndSentences) {
    const auto& c = GetParam();
    const auto view = trendsView(c.rows, "2026-12-07", 30);
    EXPECT_EQ(view.days.size(), 30u);
    EXPECT_EQ(view.showSections(), c.sections);
    EXPECT_EQ(view.showMinutes(), c.minutes);
    EXPECT_EQ(view.summary, c.summary);
    EXPECT_EQ(view.tightSentence.value_or(""), c.tight);
    EXPECT_EQ(view.offenders.size(), c.offenders);
}

std::vector<DailyStat> withStories() {
    auto rows = month();
    rows[29].storyCount = 2;
    rows[29].apps = {appStat("Terminal", 2, 3 * 1048576)};
    return rows;
}

std::vector<DailyStat> withShortPressure() {
    auto rows = withStories();
    rows[3].pressureWarningSeconds = 59;
    return rows;
}

std::vector<DailyStat> pressureOnly() {
    auto rows = month();
    rows[3].pressureCriticalSeconds = 600;
    return rows;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TrendsCaseTest,
    ::testing::Values(
        TrendsCase{"noRows", month(), false, false,
                   "Not enough history yet \u2014 check back after a few days of use.", "", 0},
        TrendsCase{"noPressure", withStories(), true, false,
                   "Terminal was the biggest factor over the last 30 days \u2014 2 stories, 3 MB total growth.", "",
                   1},
        TrendsCase{"fiftyNineSeconds", withShortPressure(), true, true,
                   "Terminal was the biggest factor over the last 30 days \u2014 2 stories, 3 MB total growth.",
                   "Computer memory felt tight on 1 of the last 30 days \u2014 not constant, but not nothing either.",
                   1},
        TrendsCase{"pressureWithoutStories", pressureOnly(), false, true,
                   "Not enough history yet \u2014 check back after a few days of use.",
                   "Computer memory felt tight on 1 of the last 30 days \u2014 not constant, but not nothing either.",
                   0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TrendsViewTest, FiftyNineSecondsIsAZeroMinuteBar) {
    const auto view = trendsView(withShortPressure(), "2026-12-07", 30);
    EXPECT_EQ(view.days[3].pressureMinutes, 0);
    EXPECT_EQ(view.tightDays, 1);
    EXPECT_EQ(view.days[3].label, "Nov 11");
    EXPECT_EQ(view.days[29].label, "Dec 7");
}

TEST(TrendsViewTest, TwelveAppsGiveTheEightLargestInOrder) {
    auto rows = month();
    rows[20].storyCount = 12;
    for (int i = 0; i < 12; ++i) rows[20].apps.push_back(appStat("app" + std::to_string(i), i % 3, (i + 1) * 1024));
    const auto view = trendsView(rows, "2026-12-07", 30);
    ASSERT_EQ(view.offenders.size(), 8u);
    EXPECT_EQ(view.offenders.front().groupingKey, "app11");
    EXPECT_EQ(view.offenders.back().groupingKey, "app4");
    EXPECT_EQ(view.offenders.front().growthText, "+12 KB");
}

TEST(TrendsViewTest, StoryWordsAndZeroGrowth) {
    auto rows = month();
    rows[29].storyCount = 3;
    rows[29].apps = {appStat("one", 1, 0), appStat("none", 0, 0), appStat("two", 2, 0)};
    const auto view = trendsView(rows, "2026-12-07", 30);
    ASSERT_EQ(view.offenders.size(), 3u);
    EXPECT_EQ(view.offenders[0].storiesText, "1 story");
    EXPECT_EQ(view.offenders[1].storiesText, "0 stories");
    EXPECT_EQ(view.offenders[2].storiesText, "2 stories");
    EXPECT_EQ(view.offenders[0].growthText, "+0 bytes");
    EXPECT_EQ(view.summary, "No single app stood out over the last 30 days.");
}

TEST(TrendsViewTest, ExtremeStoredValuesSaturateAndStayAtZeroOrAbove) {
    auto rows = month();
    rows[1].pressureWarningSeconds = int64Max;
    rows[1].pressureCriticalSeconds = int64Max;
    rows[2].pressureWarningSeconds = -120;
    rows[4].storyCount = int64Max;
    rows[5].storyCount = int64Max;
    rows[6].storyCount = -5;
    rows[6].apps = {appStat("big", int64Max, int64Max), appStat("neg", -3, -1000)};
    rows[7].apps = {appStat("big", int64Max, int64Max)};
    const auto view = trendsView(rows, "2026-12-07", 30);
    EXPECT_EQ(view.days[1].pressureMinutes, int64Max / 60);
    EXPECT_EQ(view.days[2].pressureMinutes, 0);
    EXPECT_EQ(view.days[6].stories, 0);
    EXPECT_EQ(view.totalStories, int64Max);
    EXPECT_EQ(view.tightDays, 1);
    ASSERT_EQ(view.offenders.size(), 2u);
    EXPECT_EQ(view.offenders[1].groupingKey, "neg");
    EXPECT_EQ(view.offenders[1].growthText, "+0 bytes");
    EXPECT_EQ(view.offenders[1].storiesText, "0 stories");
}

TEST(TrendsViewTest, RowsAfterTodayAreLeftOut) {
    auto rows = withStories();
    rows.push_back({"2027-03-01", 9, 0, 0, {appStat("Future", 9, int64Max)}});
    const auto view = trendsView(rows, "2026-12-07", 30);
    EXPECT_EQ(view.days.size(), 30u);
    EXPECT_EQ(view.totalStories, 2);
    ASSERT_EQ(view.offenders.size(), 1u);
    EXPECT_EQ(view.offenders[0].groupingKey, "Terminal");
}

}  // namespace
}  // namespace velmora
