// The live chart page offscreen over seeded history.
#include <gtest/gtest.h>

#include "tests/ui/SeededHistory.h"
#include "ui/main/livechart/LiveChartPage.h"
#include "ui/main/overview/PageParts.h"

#include <QCategoryAxis>
#include <QChart>
#include <QLabel>

#include "ui/main/ElidedLabel.h"
#include "tests/ui/NamesAlone.h"
#include <QLineSeries>
#include <QValueAxis>

namespace velmora {
namespace {

std::vector<std::string> visibleTexts(const QWidget& page) {
    std::vector<std::string> out;
    for (auto* label : page.findChildren<QLabel*>())
        if (label->isVisibleTo(&page) && !label->text().isEmpty()) out.push_back(label->text().toStdString());
    for (auto* label : page.findChildren<ElidedLabel*>())
        if (label->isVisibleTo(&page) && !label->text().isEmpty()) out.push_back(label->text().toStdString());
    return out;
}

bool shows(const QWidget& page, const std::string& text) {
    const auto texts = visibleTexts(page);
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

TEST(LiveChartPage, KeepsTheSameLinesTickAfterTickWithinThePointLimit) {
    AppHarness h;
    h.make();
    seedHistory(h, sevenApps(), 1900);
    LiveChartPage page(*h.state);
    page.resize(900, 560);
    page.refresh();
    std::vector<QLineSeries*> first;
    for (auto* s : page.chart()->series()) first.push_back(static_cast<QLineSeries*>(s));
    ASSERT_EQ(first.size(), 6u);
    seedHistory(h, sevenApps(), 2);
    page.refresh();
    seedHistory(h, sevenApps(), 1);
    page.refresh();
    std::vector<QLineSeries*> after;
    for (auto* s : page.chart()->series()) after.push_back(static_cast<QLineSeries*>(s));
    EXPECT_EQ(after, first);
    for (auto* s : after) {
        EXPECT_LE(s->count(), 242);
        EXPECT_GE(s->count(), 240);
    }
    EXPECT_FALSE(shows(page, "Not enough history yet"));
    EXPECT_TRUE(shows(page, "Firefox"));
    EXPECT_FALSE(shows(page, "GIMP"));  // the seventh app never stands in
}

TEST(LiveChartPage, WaitsForTwoPointsThenDrawsAndFollowsTheRange) {
    AppHarness h;
    h.make();
    seedHistory(h, sevenApps(), 1);
    LiveChartPage page(*h.state);
    page.refresh();
    EXPECT_TRUE(shows(page, "Not enough history yet"));
    EXPECT_TRUE(page.chart()->series().isEmpty());
    seedHistory(h, sevenApps(), 1);
    page.refresh();
    EXPECT_FALSE(shows(page, "Not enough history yet"));
    EXPECT_EQ(page.chart()->series().size(), 6);
    EXPECT_TRUE(shows(page, "\u2212100 KB"));  // the editor shrank by 100 KB a tick
    EXPECT_TRUE(shows(page, "0 bytes"));  // the mail app did not move: no sign
    page.picker()->choose(120);
    EXPECT_EQ(page.rangeMinutes(), 120);
}

TEST(LiveChartPage, AxesLabelSmallAppsDistinctlyAndReachNow) {
    AppHarness h;
    h.make();
    seedHistory(h, {{"Editor", "editor", 150 * MiB, 0}}, 600);
    LiveChartPage page(*h.state);
    page.refresh();
    auto* memory = static_cast<QValueAxis*>(page.chart()->axes(Qt::Vertical).front());
    QStringList labels;
    for (int i = 0; i < memory->tickCount(); ++i)
        labels << QString::asprintf(memory->labelFormat().toLatin1().constData(),
                                    memory->max() * i / (memory->tickCount() - 1));
    EXPECT_EQ(labels.join(", ").toStdString(), "0.00, 0.05, 0.10, 0.15, 0.20");

    auto* time = static_cast<QCategoryAxis*>(page.chart()->axes(Qt::Horizontal).front());
    const QStringList marks = time->categoriesLabels();
    ASSERT_EQ(marks.size(), 4);
    const double now = h.clock.now().unixSeconds();
    EXPECT_GT(time->endValue(marks.back()), now - 60);
    EXPECT_LE(time->endValue(marks.back()), now);
    EXPECT_GE(time->endValue(marks.front()), now - 30 * 60);
}

// A line's name stands alone in the legend: a right-to-left one takes its own direction ("(בדיקה)
// כלי" keeps its "(" on its right, an emoji after an Arabic name stands on its left, as painted)
// yet starts where a Latin one does, and is read aloud as it is.
TEST(LiveChartPage, ALegendNameTakesItsOwnDirectionInItsColumn) {
    AppHarness h;
    h.make();
    seedHistory(h, {{"Firefox", "firefox", 900 * MiB, MiB}, {hebrewAlone.name.toStdString(), "tool", 800 * MiB, 0},
                    {arabicAlone.name.toStdString(), "browser", 700 * MiB, MiB}}, 3);
    LiveChartPage page(*h.state);
    showRefreshed(page, 900, 900);  // the whole legend in view
    expectAloneInTheColumnOf(page, "Firefox");
}

}  // namespace
}  // namespace velmora
