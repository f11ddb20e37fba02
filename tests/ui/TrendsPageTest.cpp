// The trends page offscreen over a daily statistics store filled through its own recording calls.
#include <gtest/gtest.h>

#include "tests/app/AppHarness.h"
#include "ui/main/overview/PageParts.h"
#include "ui/main/trends/TrendsPage.h"

#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QGlyphRun>
#include <QLabel>
#include <QTextLayout>

#include "platform/qt/BidiText.h"
#include "tests/ui/NamesAlone.h"
#include "tests/ui/TextOrder.h"

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

// A page over one offender, `name`, that grew by 399.96 GB in two stories today.
struct OneOffender : AppHarness {
    explicit OneOffender(const std::string& name) {
        make();
        for (std::int64_t bytes : {429'453'779'927 - std::int64_t(MiB), std::int64_t(MiB)})
            state->dailyStats->recordStory(std::string("key"), name, bytes, clock.now());
    }
};

QLabel* summaryOf(const QWidget& page) {
    for (auto* label : page.findChildren<QLabel*>())
        if (withoutMarks(label->text()).contains("was the biggest factor")) return label;
    return nullptr;
}

// A right-to-left name leads the summary: the sentence still reads left to right, with the name and
// figures where the words put them, and is spoken without marks.
TEST(TrendsPage, SummaryKeepsItsWordsAndFiguresInPlaceAroundAnyName) {
    const std::string arabic = "مدير المستندات";  // "Document manager"
    const std::string hebrew = "מנהל הקבצים 2";  // "File manager 2"
    for (const std::string& name : {arabic, hebrew, std::string("Files 2")}) {
        SCOPED_TRACE(name);
        OneOffender h(name);
        TrendsPage page(*h.state);
        page.refresh();
        QLabel* summary = summaryOf(page);
        ASSERT_NE(summary, nullptr);
        const QString plain = QString::fromStdString(name) + " was the biggest factor over the last 30 days \u2014 2 stories, "
                                                             "399.96 GB total growth.";
        EXPECT_EQ(withoutMarks(summary->text()), plain);
        EXPECT_EQ(summary->accessibleName(), plain);
        const std::vector<qreal> edges =
            leftEdges(summary->text(), summary->font(), {QString::fromStdString(name), "was", "30", "2 stories", "399.96", "GB", "total"},
                      Qt::LayoutDirectionAuto);
        for (std::size_t i = 1; i < edges.size(); ++i) EXPECT_LT(edges[i - 1], edges[i]) << i;
    }
}

// The repeat offenders' growth, a total over up to 90 days, shows whole in its column.
TEST(TrendsPage, TheWidestGrowthFitsItsColumn) {
    AppHarness h;
    h.make();
    h.state->dailyStats->recordStory(std::string("key"), std::string("Files"), 1'099'500'890'357, h.clock.now());
    TrendsPage page(*h.state);
    page.resize(900, 700);
    page.refresh();
    QLabel* growth = nullptr;
    for (auto* label : page.findChildren<QLabel*>())
        if (label->text() == "+1,023.99 GB") growth = label;
    ASSERT_NE(growth, nullptr);
    EXPECT_LE(growth->fontMetrics().horizontalAdvance(growth->text()), growth->contentsRect().width());
}

// A repeat offender's name stands alone in its column: a right-to-left one takes its own direction
// ("(בדיקה) כלי" keeps its words in order, an emoji after an Arabic name stands on its left) yet
// starts where a Latin one does; one too long has its "…" at its left end and is whole, without
// marks, in its tooltip.
TEST(TrendsPage, ARepeatOffendersNameTakesItsOwnDirectionInItsColumn) {
    QString longName = arabicWords;
    for (int i = 0; i < 5; ++i) longName += " " + arabicWords;
    AppHarness h;
    h.make();
    std::int64_t bytes = 900 * std::int64_t(MiB);
    for (const QString& name : {QString("Firefox"), hebrewAlone.name, arabicAlone.name, longName}) {
        h.state->dailyStats->recordStory(name.toStdString(), name.toStdString(), bytes, h.clock.now());
        bytes -= 100 * std::int64_t(MiB);
    }
    TrendsPage page(*h.state);
    showRefreshed(page, 900, 560);

    // Where a label's ink starts, in the page.
    const auto inkStart = [&](ElidedLabel* label) {
        const QImage image = label->grab().toImage();
        return label->mapTo(&page, QPoint(inkIn(image, image.rect()).left, 0)).x();
    };
    ElidedLabel* latin = labelShowing(page, "Firefox");
    ASSERT_NE(latin, nullptr);
    const int column = inkStart(latin);
    for (const AloneName& c : {hebrewWordsAlone, arabicAlone}) {
        SCOPED_TRACE(c.name.toStdString());
        ElidedLabel* label = labelShowing(page, c.name);
        ASSERT_NE(label, nullptr);
        // Laid out as the label's painter draws it: left to right, whatever the label's direction.
        EXPECT_EQ(withoutMarks(label->lines(label->width()).value(0)), c.name);
        expectAlone(label, c);
        EXPECT_NEAR(inkStart(label), column, 2);
    }
    // As painted: the rocket's colour stands left of the Arabic letters.
    ElidedLabel* withEmoji = labelShowing(page, arabicAlone.name);
    ASSERT_NE(withEmoji, nullptr);
    const QImage image = withEmoji->grab().toImage();
    expectEmojiLeftOfLetters(inkIn(image, image.rect()));

    ElidedLabel* cut = labelShowing(page, longName);
    ASSERT_NE(cut, nullptr);
    expectCutAtItsLeft(cut->lines(cut->width()).value(0), cut->font());
    EXPECT_EQ(cut->toolTip(), longName);
    EXPECT_NEAR(inkStart(cut), column, 2);
}

}  // namespace
}  // namespace velmora
