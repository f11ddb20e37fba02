// The trends page offscreen over a daily statistics store filled through its own recording calls.
#include <gtest/gtest.h>

#include "tests/app/AppHarness.h"
#include "ui/main/overview/PageParts.h"
#include "ui/main/trends/TrendsPage.h"

#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QLabel>

namespace velmora {
namespace {

bool shows(const QWidget& page, const QString& text) {
    for (auto* label : page.findChildren<QLabel*>())
        if (label->isVisibleTo(&page) && label->text() == text) return true;
    return false;
}

TEST(TrendsPage, EmptyStoreShowsTheWaitingCardOnly) {
    AppHarness h;
    h.make();
    TrendsPage page(*h.state);
    page.refresh();
    EXPECT_TRUE(shows(page, "Not enough history yet \u2014 check back after a few days of use."));
    EXPECT_TRUE(shows(page, "Nothing tracked yet"));
    EXPECT_FALSE(shows(page, "Stories per day"));
    EXPECT_FALSE(shows(page, "Repeat offenders"));
}

TEST(TrendsPage, StoriesAndShortPressureShowZeroMinuteBarsAndFollowTheRange) {
    AppHarness h;
    h.make();
    auto& stats = *h.state->dailyStats;
    stats.recordStory(std::string("firefox"), std::string("Firefox"), 300 * std::int64_t(MiB), h.clock.now());
    stats.recordStory(std::string("firefox"), std::string("Firefox"), -50 * std::int64_t(MiB), h.clock.now());
    stats.recordStory(std::string("code"), std::string("Code"), 0, h.clock.now() - 3 * 86400.0);
    for (int i = 0; i < 59; ++i) stats.recordPressureTick(MemoryPressureLevel::warning, h.clock.now());
    TrendsPage page(*h.state);
    page.refresh();
    EXPECT_TRUE(shows(page, "Minutes under memory pressure"));
    EXPECT_TRUE(shows(page, "Computer memory felt tight on 1 of the last 30 days \u2014 not constant, but not nothing "
                            "either."));
    ASSERT_EQ(page.storiesBars()->count(), 30);
    EXPECT_EQ(page.storiesBars()->at(29), 2.0);
    EXPECT_EQ(page.storiesBars()->at(26), 1.0);
    EXPECT_EQ(page.minutesBars()->at(29), 0.0);
    EXPECT_TRUE(shows(page, "2 stories"));
    EXPECT_TRUE(shows(page, "1 story"));
    EXPECT_TRUE(shows(page, "+300 MB"));
    EXPECT_TRUE(shows(page, "+0 bytes"));
    QBarSet* bars = page.storiesBars();
    page.picker()->choose(7);
    EXPECT_EQ(page.storiesBars(), bars);
    EXPECT_EQ(page.storiesBars()->count(), 7);
    EXPECT_TRUE(shows(page, "Apps with the biggest total growth over the last 7 days."));
}

TEST(TrendsPage, DayLabelsFollowMidnight) {
    AppHarness h;
    h.make();
    h.state->dailyStats->recordStory(std::string("firefox"), std::string("Firefox"), 300 * std::int64_t(MiB),
                                     h.clock.now());
    TrendsPage page(*h.state);
    page.picker()->choose(7);
    auto* days = static_cast<QCategoryAxis*>(
        page.findChildren<QChartView*>().front()->chart()->axes(Qt::Horizontal).front());
    EXPECT_EQ(days->categoriesLabels().back().toStdString(), "May 9");
    h.clock.advance(86400);  // a day later the page is still open
    page.refresh();
    EXPECT_EQ(days->categoriesLabels().back().toStdString(), "May 10");
    EXPECT_EQ(days->categoriesLabels().front().toStdString(), "May 4");
    EXPECT_EQ(page.storiesBars()->at(5), 1.0);  // yesterday's story, one bar back
}

}  // namespace
}  // namespace velmora
