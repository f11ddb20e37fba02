#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ui/main/livechart/LiveChartRules.h"

namespace velmora {
namespace {

struct DownsampleCase {
    std::size_t count;
    int maxPoints;
    std::size_t expectedSize;
    std::vector<std::size_t> head;  // the first indices
    std::vector<std::size_t> tail;  // the last indices
};

class DownsampleTest : public ::testing::TestWithParam<DownsampleCase> {};

TEST_P(DownsampleTest, TakesTheListedIndices) {
    const auto& c = GetParam();
    const auto got = downsampleIndices(c.count, c.maxPoints);
    ASSERT_EQ(got.size(), c.expectedSize);
    for (std::size_t i = 0; i < c.head.size(); ++i) EXPECT_EQ(got[i], c.head[i]) << "head " << i;
    for (std::size_t i = 0; i < c.tail.size(); ++i)
        EXPECT_EQ(got[got.size() - c.tail.size() + i], c.tail[i]) << "tail " << i;
    for (std::size_t i = 1; i < got.size(); ++i) EXPECT_LT(got[i - 1], got[i]);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, DownsampleTest,
    ::testing::Values(DownsampleCase{240, 240, 240, {0, 1, 2}, {238, 239}},
                      DownsampleCase{241, 240, 241, {0, 1, 2, 3}, {238, 239, 240}},
                      DownsampleCase{300, 240, 241, {0, 1, 2, 3, 5, 6}, {297, 298, 299}},
                      DownsampleCase{1800, 240, 241, {0, 7, 15, 22, 30}, {1785, 1792, 1799}},
                      DownsampleCase{7200, 240, 241, {0, 30, 60}, {7140, 7170, 7199}},
                      DownsampleCase{5, 0, 2, {0, 4}, {}}, DownsampleCase{5, -1, 2, {0, 4}, {}},
                      DownsampleCase{1, 0, 1, {0}, {}}, DownsampleCase{0, 240, 0, {}, {}}));

TEST(DownsampleTest, KeepsTheNewestPointWhenDatesRepeat) {
    // A clock set back: the last two samples share a date, the newest must still end the line.
    std::vector<FootprintHistory::Point> points;
    for (int i = 0; i < 300; ++i) points.push_back({Date{100.0 + i}, 1000u + static_cast<unsigned>(i)});
    points[298].date = points[299].date;
    const auto got = downsample(points, 240);
    ASSERT_EQ(got.size(), 241u);
    EXPECT_EQ(got.back().bytes, 1299u);
}

AppMemorySnapshot app(const std::string& key, const std::string& name) {
    AppMemorySnapshot s;
    s.identity.groupingKey = key;
    s.identity.displayName = name;
    return s;
}

TEST(MakeSeriesTest, DropsShortAppsWithoutReplacementAndKeysByGroupingKey) {
    std::vector<AppMemorySnapshot> visible;
    FootprintHistoryMap history;
    for (int i = 0; i < 7; ++i) {
        // Apps 2 and 3 share one name; app 5 (the sixth) has a single point in the range.
        const std::string name = (i == 2 || i == 3) ? "Editor" : "App " + std::to_string(i);
        visible.push_back(app("k" + std::to_string(i), name));
        auto& h = history["k" + std::to_string(i)];
        h.append(Date{10}, 999);  // before the range
        const int count = i == 5 ? 1 : 3;
        for (int p = 0; p < count; ++p) h.append(Date{100.0 + p}, 5000u - 1000u * static_cast<unsigned>(p) * (i == 1) + 700u * static_cast<unsigned>(p) * (i != 1));
    }
    const auto series = makeSeries(visible, history, Date{100}, 6, 240);
    std::vector<std::string> keys;
    for (const auto& s : series) keys.push_back(s.key);
    EXPECT_EQ(keys, (std::vector<std::string>{"k0", "k1", "k2", "k3", "k4"}));
    EXPECT_EQ(series[2].name, "Editor");
    EXPECT_EQ(series[3].name, "Editor");
    EXPECT_EQ(series[0].points.size(), 3u);
    EXPECT_EQ(series[0].currentBytes, 6400u);
    EXPECT_EQ(series[0].deltaBytes, 1400);
    EXPECT_EQ(series[1].currentBytes, 3000u);
    EXPECT_EQ(series[1].deltaBytes, -2000);
}

// The memory axis's labels as the chart prints them (printf with the axis's decimals).
std::vector<std::string> memoryLabels(double topGigabytes) {
    const MemoryAxis axis = memoryAxis(topGigabytes);
    std::vector<std::string> out;
    for (int i = 0; i < axis.ticks; ++i) {
        char text[32];
        std::snprintf(text, sizeof text, "%.*f", axis.decimals, axis.ceiling * i / (axis.ticks - 1));
        out.push_back(text);
    }
    return out;
}

TEST(LiveChartAxesTest, MemoryLabelsNeverRepeat) {
    const double MiB = 1.0 / 1024;
    const struct {
        double top;
        std::vector<std::string> labels;
    } cases[] = {
        {150 * MiB, {"0.00", "0.05", "0.10", "0.15", "0.20"}},
        {90 * MiB, {"0.00", "0.02", "0.04", "0.06", "0.08", "0.10"}},
        {230 * MiB, {"0.00", "0.05", "0.10", "0.15", "0.20", "0.25"}},
        {0, {"0.0", "0.2", "0.4", "0.6", "0.8", "1.0"}},
        {1.5, {"0.0", "0.5", "1.0", "1.5", "2.0"}},
        {3.1, {"0", "1", "2", "3", "4", "5"}},
        {12, {"0", "5", "10", "15", "20"}},
    };
    for (const auto& c : cases) EXPECT_EQ(memoryLabels(c.top), c.labels) << c.top;
    for (double top = 0.0005; top < 400; top *= 1.07) {
        const auto labels = memoryLabels(top);
        for (std::size_t i = 1; i < labels.size(); ++i) EXPECT_NE(labels[i - 1], labels[i]) << top;
    }
}

TEST(LiveChartAxesTest, TimeMarksCountBackFromNow) {
    const double now = 1'800'000'000 + 7 * 60 + 42;  // 42 s into a minute
    const double minute = now - 42;
    EXPECT_EQ(timeMarks(now, 30), (std::vector<double>{minute - 24 * 60, minute - 16 * 60, minute - 8 * 60, minute}));
    EXPECT_EQ(timeMarks(now, 60), (std::vector<double>{minute - 45 * 60, minute - 30 * 60, minute - 15 * 60, minute}));
    EXPECT_EQ(timeMarks(now, 120), (std::vector<double>{minute - 90 * 60, minute - 60 * 60, minute - 30 * 60, minute}));
    // On the minute itself the newest mark is now; a mark never falls before the range.
    EXPECT_EQ(timeMarks(minute, 60).back(), minute);
    EXPECT_EQ(timeMarks(minute, 60).size(), 4u);
    EXPECT_TRUE(timeMarks(now, 0).empty());
}

TEST(MakeSeriesTest, NegativeSeriesCountGivesNoLines) {
    FootprintHistoryMap history;
    history["a"].append(Date{1}, 1);
    history["a"].append(Date{2}, 2);
    EXPECT_TRUE(makeSeries({app("a", "A")}, history, Date{0}, -1, 240).empty());
    EXPECT_EQ(makeSeries({app("a", "A")}, history, Date{0}, 6, 0).front().points.size(), 2u);
}

}  // namespace
}  // namespace velmora
