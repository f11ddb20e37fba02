#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "ui/main/heavy/HeavyRules.h"
#include "ui/main/overview/OverviewRules.h"

namespace velmora {
namespace {

struct BarCase {
    std::size_t categories;
    double width;
};

class StackedBarTest : public ::testing::TestWithParam<BarCase> {};

TEST_P(StackedBarTest, TinySharesNeverOverflowTheColumn) {
    const auto& c = GetParam();
    // One huge category and the rest tiny: the floors push hardest here.
    std::vector<std::uint64_t> totals{1ull << 40};
    for (std::size_t i = 1; i < c.categories; ++i) totals.push_back(1000 + i);
    const auto widths = stackedBarWidths(totals, c.width);
    ASSERT_EQ(widths.size(), c.categories);
    const double sum = std::accumulate(widths.begin(), widths.end(), 0.0) + 1.5 * static_cast<double>(c.categories - 1);
    EXPECT_LE(sum, c.width + 1e-9);
    for (double w : widths) EXPECT_GE(w, 2.0);
    if (c.categories == 1) {
        EXPECT_DOUBLE_EQ(widths[0], c.width);
    }
}

INSTANTIATE_TEST_SUITE_P(Counts, StackedBarTest,
                         ::testing::Values(BarCase{1, 664}, BarCase{2, 664}, BarCase{3, 300}, BarCase{4, 664},
                                           BarCase{5, 120}, BarCase{6, 664}, BarCase{7, 80}, BarCase{8, 664},
                                           BarCase{9, 40}));

TEST(StackedBarTest, SharesFollowTheTotalsAfterTheFloors) {
    const auto widths = stackedBarWidths({600, 300, 1}, 100);
    // 97 after two gaps; the tiny one floors at 2, the others split 95 as 2 : 1.
    ASSERT_EQ(widths.size(), 3u);
    EXPECT_NEAR(widths[0], 95.0 * 600 / 900, 1e-9);
    EXPECT_NEAR(widths[1], 95.0 * 300 / 900, 1e-9);
    EXPECT_DOUBLE_EQ(widths[2], 2.0);
}

AppMemorySnapshot snapshot(const std::string& name, std::uint64_t bytes, bool self = false) {
    AppMemorySnapshot s;
    s.identity.groupingKey = name;
    s.identity.displayName = name;
    s.identity.isSelf = self;
    s.footprintBytes = bytes;
    return s;
}

TEST(CategoryRowsTest, SharesNamesAndSaturatedTotal) {
    CategoryTotal big{AppCategory::developer, 996, {snapshot("a", 1), snapshot("b", 1), snapshot("c", 1),
                                                   snapshot("d", 1), snapshot("e", 1)}};
    CategoryTotal small{AppCategory::media, 4, {snapshot("Player", 4)}};
    const auto rows = categoryRows({big, small});
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].title, "Developer Tools");
    EXPECT_EQ(rows[0].members, "a, b, c");
    EXPECT_EQ(rows[0].share, "100%");
    EXPECT_EQ(rows[1].members, "Player");
    EXPECT_EQ(rows[1].share, "0%");
    EXPECT_EQ(grandTotal({CategoryTotal{AppCategory::media, ~0ull, {}}, CategoryTotal{AppCategory::other, 5, {}}}),
              ~0ull);
}

TEST(HeavyAppsTest, KeepsTwentyFiveNonNoiseAndSelf) {
    std::vector<AppMemorySnapshot> apps;
    apps.push_back(snapshot("velmora", 9000, true));
    for (int i = 0; i < 40; ++i) apps.push_back(snapshot(i % 4 == 0 ? "dock" : "App " + std::to_string(i), 100));
    const auto kept = heavyApps(apps);
    ASSERT_EQ(kept.size(), 25u);
    EXPECT_EQ(kept[0].identity.groupingKey, "velmora");
    EXPECT_EQ(kept[1].identity.groupingKey, "App 1");
    EXPECT_EQ(kept[24].identity.groupingKey, "App 31");
}

struct BadgeCase {
    std::vector<std::uint64_t> values;
    std::optional<DeltaBadge> expected;
};

class DeltaBadgeTest : public ::testing::TestWithParam<BadgeCase> {};

TEST_P(DeltaBadgeTest, Reads) { EXPECT_EQ(deltaBadge(GetParam().values), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Values, DeltaBadgeTest,
    ::testing::Values(BadgeCase{{5000}, std::nullopt}, BadgeCase{{}, std::nullopt},
                      BadgeCase{{10, 10 + 1048575}, DeltaBadge{"flat", false}},
                      BadgeCase{{10, 10 + 1048576}, DeltaBadge{"+1 MB", false}},
                      BadgeCase{{10 + 1048576, 10}, DeltaBadge{"\u22121 MB", true}},
                      BadgeCase{{600000, 100000}, DeltaBadge{"flat", true}},
                      BadgeCase{{100000, 600000}, DeltaBadge{"flat", false}},
                      BadgeCase{{7, 7}, DeltaBadge{"flat", false}}));

struct LineCase {
    const char* name;
    std::vector<std::uint64_t> values;
    double width, height;
    std::vector<LinePoint> expected;
};

class SparklineLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(SparklineLineTest, Places) {
    EXPECT_EQ(sparklineLine(GetParam().values, GetParam().width, GetParam().height), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SparklineLineTest,
    ::testing::Values(LineCase{"single", {5}, 100, 32, {}},
                      LineCase{"constant", {5, 5, 5}, 100, 32, {{0, 30}, {50, 30}, {100, 30}}},
                      LineCase{"spike", {5, 905, 5}, 100, 32, {{0, 30}, {50, 2}, {100, 30}}},
                      LineCase{"tooShort", {5, 905}, 100, 3, {{0, 1.5}, {100, 1.5}}},
                      LineCase{"envelope", {1, 9, 2, 8, 3, 7, 4, 6, 5, 5}, 2, 12,
                               {{0.5, 10}, {0.5, 2}, {1.5, 7.5}, {1.5, 3}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SparklineLineTest, OneHourBecomesTwoPointsPerColumn) {
    std::vector<std::uint64_t> values(3600);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = 1000 + i % 17;
    EXPECT_EQ(sparklineLine(values, 300, 32).size(), 600u);
    EXPECT_EQ(sparklineLine(std::vector<std::uint64_t>(600, 1), 300, 32).size(), 600u);
}

TEST(SparklineValuesTest, KeepsPointsFromTheStartOnOfTheKey) {
    FootprintHistoryMap history;
    history["a"].append(Date{10}, 1);
    history["a"].append(Date{20}, 2);
    history["a"].append(Date{15}, 3);  // the clock was set back
    EXPECT_EQ(sparklineValues(history, "a", Date{15}), (std::vector<std::uint64_t>{2, 3}));
    EXPECT_TRUE(sparklineValues(history, "b", Date{0}).empty());
}

}  // namespace
}  // namespace velmora
