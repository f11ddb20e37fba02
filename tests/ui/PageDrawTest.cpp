// What the pages draw and draw again, read back as a user meets it: the labels shown and their
// colours, the chart's axis marks and lines after a click, and the pixels of painted rows.
#include <gtest/gtest.h>

#include "tests/ui/SeededHistory.h"
#include "ui/main/heavy/HeavyAppsModel.h"
#include "ui/main/heavy/HeavyPage.h"
#include "ui/main/ElidedLabel.h"
#include "ui/main/livechart/LiveChartPage.h"
#include "ui/main/overview/OverviewPage.h"
#include "ui/main/overview/PageParts.h"
#include "ui/main/strip/SystemPressureStrip.h"
#include "ui/main/trends/TrendsPage.h"

#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QLineSeries>
#include <QListView>
#include <algorithm>
#include <map>

namespace velmora {
namespace {

// Plain labels and the eliding labels names are drawn in, whole.
QStringList visibleTexts(const QWidget& root) {
    QStringList out;
    for (auto* label : root.findChildren<QLabel*>())
        if (label->isVisibleTo(&root) && !label->text().isEmpty()) out << label->text();
    for (auto* label : root.findChildren<ElidedLabel*>())
        if (label->isVisibleTo(&root) && !label->text().isEmpty()) out << label->text();
    return out;
}

QColor textColour(const QLabel* label) { return label->palette().color(QPalette::WindowText); }

const QColor green = QColor::fromRgbF(0.30f, 0.72f, 0.42f);
const QColor orange = QColor::fromRgbF(0.90f, 0.55f, 0.25f);

// ---- Overview: the movers' arrows and amounts, and the strip it heads with ----

struct MoverLook {
    QString arrow, delta;
    QColor arrowColour, deltaColour;
};

// The shown mover rows by app name; a row holds arrow, name, "now …" and amount, in that order.
std::map<QString, MoverLook> shownMovers(const QWidget& page) {
    std::map<QString, MoverLook> out;
    for (auto* now : page.findChildren<QLabel*>()) {
        if (!now->isVisibleTo(&page) || !now->text().startsWith("now ")) continue;
        // The row's labels: arrow, "now …" and change; the name is elided on a label of its own.
        const auto labels = now->parentWidget()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
        const auto* name = now->parentWidget()->findChild<ElidedLabel*>(QString(), Qt::FindDirectChildrenOnly);
        if (labels.size() != 3 || !name) continue;
        out[name->text()] = {labels[0]->text(), labels[2]->text(), textColour(labels[0]), textColour(labels[2])};
    }
    return out;
}

void expectMover(const std::map<QString, MoverLook>& movers, const QString& name, const char* arrow, QChar sign,
                 const QColor& colour) {
    const auto it = movers.find(name);
    ASSERT_NE(it, movers.end()) << name.toStdString();
    const MoverLook& m = it->second;
    EXPECT_EQ(m.arrow, QString::fromUtf8(arrow)) << name.toStdString();
    EXPECT_TRUE(m.delta.startsWith(sign)) << name.toStdString() << ": " << m.delta.toStdString();
    EXPECT_EQ(m.arrowColour.rgb(), colour.rgb()) << name.toStdString();
    EXPECT_EQ(m.deltaColour.rgb(), colour.rgb()) << name.toStdString();
}

TEST(OverviewPageDraw, MoversPointTheWayTheyMovedAndTurnWhenTheyTurn) {
    AppHarness h;
    h.make();
    seedHistory(h, sevenApps(), 1900);
    OverviewPage page(*h.state);
    page.resize(900, 560);
    page.refresh();
    auto movers = shownMovers(page);
    ASSERT_EQ(movers.size(), 5u);
    expectMover(movers, "Firefox", "\u2197", '+', orange);
    expectMover(movers, "Visual Studio Code", "\u2198", QChar(0x2212), green);
    expectMover(movers, "Slack", "\u2198", QChar(0x2212), green);
    expectMover(movers, "Spotify", "\u2197", '+', orange);

    // The browser starts giving memory back and the editor takes it: the same pooled rows turn.
    auto turned = sevenApps();
    turned[0].bytesPerTick = -400 * 1024;
    turned[1].bytesPerTick = 300 * 1024;
    seedHistory(h, turned, 120);
    page.refresh();
    movers = shownMovers(page);
    expectMover(movers, "Firefox", "\u2198", QChar(0x2212), green);
    expectMover(movers, "Visual Studio Code", "\u2197", '+', orange);
}

TEST(OverviewPageDraw, TheStripFollowsTheNewestSample) {
    AppHarness h;
    h.make();
    OverviewPage page(*h.state);
    page.refresh();
    EXPECT_TRUE(visibleTexts(page).contains(QString::fromUtf8("Watching your computer\u2026")));
    seedHistory(h, sevenApps(), 2);
    page.refresh();
    EXPECT_TRUE(visibleTexts(page).contains("Computer memory: OK"));
    h.memory.reading = {16ull << 30, 1ull << 30, 0, 0, MemoryPressureLevel::critical};
    seedHistory(h, sevenApps(), 1);
    page.refresh();
    const auto texts = visibleTexts(page);
    EXPECT_TRUE(texts.contains("Computer memory: under pressure"));
    EXPECT_TRUE(texts.contains("94% used"));
    EXPECT_FALSE(texts.contains("Computer memory: OK"));
}

// ---- Live Chart: a range chosen is drawn at once ----

struct ChartLook {
    double axisSpan = 0;        // seconds the time axis covers
    std::vector<double> marks;  // where the time labels stand
    double firstFirefox = 0;    // the browser line's oldest point
};

ChartLook chartLook(const LiveChartPage& page) {
    ChartLook look;
    auto* axis = qobject_cast<QCategoryAxis*>(page.chart()->axes(Qt::Horizontal).value(0));
    if (!axis) return look;
    look.axisSpan = axis->max() - axis->min();
    for (const auto& label : axis->categoriesLabels()) look.marks.push_back(axis->endValue(label));
    for (auto* s : page.chart()->series())
        if (s->name() == "Firefox") look.firstFirefox = static_cast<QLineSeries*>(s)->at(0).x();
    return look;
}

std::vector<double> spaced(double first, double step, int count) {
    std::vector<double> out;
    for (int i = 0; i < count; ++i) out.push_back(first + i * step);
    return out;
}

// A legend row: the app's name, its footprint now and its change, the last of which is returned.
QLabel* legendAmount(const QWidget& page, const QString& name) {
    for (auto* label : page.findChildren<ElidedLabel*>()) {
        if (!label->isVisibleTo(&page) || label->text() != name) continue;
        const auto row = label->parentWidget()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
        if (row.size() == 2) return row[1];
    }
    return nullptr;
}

TEST(LiveChartPageDraw, ChoosingARangeRedrawsAxisLinesAndLegendAtOnce) {
    AppHarness h;
    h.make();
    seedHistory(h, sevenApps(), 1900);
    // The first sample in Unix seconds (100 s before a whole minute); the clock now stands 1,900 s later,
    // on a whole minute, where the newest time mark stands.
    constexpr double first = 1778307200;
    LiveChartPage page(*h.state);
    page.resize(900, 700);
    page.refresh();
    ChartLook look = chartLook(page);
    EXPECT_EQ(look.axisSpan, 1800);
    EXPECT_EQ(look.marks, spaced(first + 460, 480, 4));
    EXPECT_EQ(look.firstFirefox, first + 100);
    ASSERT_NE(legendAmount(page, "Visual Studio Code"), nullptr);
    EXPECT_EQ(legendAmount(page, "Visual Studio Code")->text(), QString::fromUtf8("\u2212175.7 MB"));

    // No sample comes between the click and the look: the click alone redraws.
    page.picker()->choose(60);
    look = chartLook(page);
    EXPECT_EQ(look.axisSpan, 3600);
    EXPECT_EQ(look.marks, spaced(first - 800, 900, 4));
    EXPECT_EQ(look.firstFirefox, first);  // as far back as the history goes
    EXPECT_EQ(legendAmount(page, "Visual Studio Code")->text(), QString::fromUtf8("\u2212185.4 MB"));

    page.picker()->choose(120);
    look = chartLook(page);
    EXPECT_EQ(look.axisSpan, 7200);
    EXPECT_EQ(look.marks, spaced(first - 3500, 1800, 4));

    page.picker()->choose(30);
    look = chartLook(page);
    EXPECT_EQ(look.axisSpan, 1800);
    EXPECT_EQ(look.marks, spaced(first + 460, 480, 4));
    EXPECT_EQ(look.firstFirefox, first + 100);
    EXPECT_EQ(legendAmount(page, "Visual Studio Code")->text(), QString::fromUtf8("\u2212175.7 MB"));

    // A minute on, the marks move on with the clock.
    seedHistory(h, sevenApps(), 60);
    page.refresh();
    look = chartLook(page);
    EXPECT_EQ(look.marks, spaced(first + 520, 480, 4));
}

TEST(LiveChartPageDraw, LinesInTheirCategoryColourAndAmountsInTheirDirection) {
    AppHarness h;
    h.make();
    seedHistory(h, sevenApps(), 300);
    LiveChartPage page(*h.state);
    page.refresh();
    std::map<QString, QRgb> pens;
    for (auto* s : page.chart()->series()) pens[s->name()] = static_cast<QLineSeries*>(s)->pen().color().rgb();
    EXPECT_EQ(pens["Firefox"], QColor::fromRgbF(0.35f, 0.55f, 0.95f).rgb());
    EXPECT_EQ(pens["Visual Studio Code"], QColor::fromRgbF(0.30f, 0.75f, 0.75f).rgb());
    for (const char* name : {"Visual Studio Code", "Slack", "Firefox", "Thunderbird"})
        ASSERT_NE(legendAmount(page, name), nullptr) << name;
    EXPECT_EQ(textColour(legendAmount(page, "Visual Studio Code")).rgb(), green.rgb());
    EXPECT_EQ(textColour(legendAmount(page, "Slack")).rgb(), green.rgb());
    EXPECT_EQ(textColour(legendAmount(page, "Firefox")).rgb(), orange.rgb());
    EXPECT_EQ(legendAmount(page, "Thunderbird")->text(), "0 bytes");
    EXPECT_EQ(textColour(legendAmount(page, "Thunderbird")).rgb(), orange.rgb());

    // The editor turns: its amount turns orange on the next redraw.
    auto turned = sevenApps();
    turned[1].bytesPerTick = 2000 * 1024;
    seedHistory(h, turned, 200);
    page.refresh();
    EXPECT_TRUE(legendAmount(page, "Visual Studio Code")->text().startsWith('+'));
    EXPECT_EQ(textColour(legendAmount(page, "Visual Studio Code")).rgb(), orange.rgb());
}

// ---- Who's heavy: the painted lines and change badges, and the strip above them ----

struct Tint {
    int green = 0, orange = 0;
};

// Greenish and orangish pixels where row `row` paints its badge: the right 56 px of its chart line.
Tint badgeTint(const HeavyPage& page, int row) {
    QListView* list = page.list();
    const QImage image = list->viewport()->grab().toImage();
    const QRect r = list->visualRect(page.model()->index(row)).adjusted(14, 10, -14, -6);
    Tint t;
    for (int y = std::max(0, r.top()); y <= std::min(image.height() - 1, r.bottom()); ++y)
        for (int x = r.right() - 56; x <= r.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.green() > c.red() + 40 && c.green() > c.blue() + 40) ++t.green;
            if (c.red() > c.green() + 40 && c.green() > c.blue() + 30) ++t.orange;
        }
    return t;
}

// Strongly coloured pixels left of the badge column: the row's line (text and placeholder are grey).
int linePixels(const HeavyPage& page, int row) {
    QListView* list = page.list();
    const QImage image = list->viewport()->grab().toImage();
    const QRect r = list->visualRect(page.model()->index(row)).adjusted(14, 10, -14 - 56 - 8, -6);
    int n = 0;
    for (int y = std::max(0, r.top()); y <= std::min(image.height() - 1, r.bottom()); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::max({c.red(), c.green(), c.blue()}) - std::min({c.red(), c.green(), c.blue()}) > 60) ++n;
        }
    return n;
}

// Seven apps with `samples` seconds of history, shown on a page tall enough for all their rows.
void seedAndShow(AppHarness& h, HeavyPage& page, int samples) {
    seedHistory(h, sevenApps(), samples);
    page.resize(700, 900);
    page.show();
    page.refresh();
    QCoreApplication::processEvents();
}

TEST(HeavyPageDraw, AFirstSampleGetsThePlaceholderAndTheNextOneALine) {
    AppHarness h;
    h.make();
    HeavyPage page(*h.state);
    seedAndShow(h, page, 1);
    ASSERT_EQ(page.model()->rowCount(), 7);
    for (int row : {0, 1, 6}) EXPECT_EQ(linePixels(page, row), 0) << "row " << row;
    seedHistory(h, sevenApps(), 1);
    page.refresh();
    QCoreApplication::processEvents();
    for (int row : {0, 1, 6}) EXPECT_GT(linePixels(page, row), 100) << "row " << row;
}

TEST(HeavyPageDraw, BadgesPaintGrowthOrangeAndReleaseGreen) {
    AppHarness h;
    h.make();
    HeavyPage page(*h.state);
    seedAndShow(h, page, 400);
    ASSERT_EQ(page.model()->rowCount(), 7);
    // Firefox grows, the editor and Slack give back, the mail app stands still (an orange "flat").
    const std::pair<int, bool> rows[] = {{0, false}, {1, true}, {2, false}, {5, true}};
    for (const auto& [row, release] : rows) {
        const Tint t = badgeTint(page, row);
        EXPECT_GT(release ? t.green : t.orange, 5) << "row " << row;
        EXPECT_EQ(release ? t.orange : t.green, 0) << "row " << row;
    }
    // Without charts no badge is painted at all.
    page.chartsToggle()->click();
    QCoreApplication::processEvents();
    for (int row = 0; row < 7; ++row) {
        const Tint t = badgeTint(page, row);
        EXPECT_EQ(t.green + t.orange, 0) << "row " << row;
    }
}

TEST(HeavyPageDraw, TheStripShowsDiskMemoryOnlyWhileSwapIsHigh) {
    AppHarness h;
    h.make();
    HeavyPage page(*h.state);
    h.memory.reading = {16ull << 30, 8ull << 30, 0, 300 * MiB, MemoryPressureLevel::warning};
    seedHistory(h, sevenApps(), 1);
    page.refresh();
    EXPECT_TRUE(visibleTexts(page).contains("Disk memory 300 MB"));
    EXPECT_TRUE(visibleTexts(page).contains("Computer memory: getting tight"));
    h.memory.reading = {16ull << 30, 8ull << 30, 0, 20 * MiB, MemoryPressureLevel::normal};
    seedHistory(h, sevenApps(), 1);
    page.refresh();
    for (const auto& text : visibleTexts(page)) EXPECT_FALSE(text.startsWith("Disk memory")) << text.toStdString();
    EXPECT_TRUE(visibleTexts(page).contains("Computer memory: OK"));
}

// ---- Trends: the day axis and the offenders follow the range ----

// The stories chart's day labels, joined by commas.
std::string dayLabels(const TrendsPage& page) {
    for (auto* view : page.findChildren<QChartView*>()) {
        auto* bars = qobject_cast<QBarSeries*>(view->chart()->series().value(0));
        if (!bars || !bars->barSets().contains(page.storiesBars())) continue;
        auto* axis = qobject_cast<QCategoryAxis*>(view->chart()->axes(Qt::Horizontal).value(0));
        return axis ? axis->categoriesLabels().join(", ").toStdString() : "";
    }
    return "";
}

TEST(TrendsPageDraw, DayLabelsAndOffendersFollowTheRangeAndTheDay) {
    AppHarness h;
    h.make();
    // The clock stands on 9 May 2026 (the tests run in UTC).
    auto& stats = *h.state->dailyStats;
    stats.recordStory(std::string("firefox"), std::string("Firefox"), 300 * std::int64_t(MiB), h.clock.now());
    stats.recordStory(std::string("gimp"), std::string("GIMP"), 80 * std::int64_t(MiB), h.clock.now() - 10 * 86400.0);
    TrendsPage page(*h.state);
    page.refresh();
    EXPECT_EQ(dayLabels(page), "Apr 11, Apr 18, Apr 25, May 2, May 9");
    EXPECT_TRUE(visibleTexts(page).contains("GIMP"));
    EXPECT_TRUE(visibleTexts(page).contains("+80 MB"));

    page.picker()->choose(7);
    EXPECT_EQ(dayLabels(page), "May 3, May 4, May 5, May 6, May 7, May 8, May 9");
    EXPECT_FALSE(visibleTexts(page).contains("GIMP"));
    EXPECT_FALSE(visibleTexts(page).contains("+80 MB"));
    EXPECT_TRUE(visibleTexts(page).contains("Firefox"));

    page.picker()->choose(90);
    EXPECT_EQ(dayLabels(page), "Feb 23, Mar 10, Mar 25, Apr 9, Apr 24, May 9");
    EXPECT_TRUE(visibleTexts(page).contains("GIMP"));

    page.picker()->choose(30);
    EXPECT_EQ(dayLabels(page), "Apr 11, Apr 18, Apr 25, May 2, May 9");

    // A day later on the same range, every label moves on by a day.
    h.clock.advance(86400);
    page.refresh();
    EXPECT_EQ(dayLabels(page), "Apr 12, Apr 19, Apr 26, May 3, May 10");
}

// ---- Pressure strip: lines that come and go between snapshots ----

SystemMemorySnapshot memory(std::uint64_t swap, bool failed = false) {
    SystemMemorySnapshot s;
    s.totalPhysicalBytes = 16ull << 30;
    s.availableBytes = 4ull << 30;
    s.swapUsedBytes = swap;
    s.readFailed = failed;
    return s;
}

TEST(PressureStripDraw, DiskLineAndFiguresComeAndGo) {
    SystemPressureStrip strip;
    strip.setSnapshot(memory(0));
    EXPECT_EQ(visibleTexts(strip).filter("Disk memory").size(), 0);
    strip.setSnapshot(memory(60 * MiB));
    EXPECT_TRUE(visibleTexts(strip).contains("Disk memory 60 MB"));
    strip.setSnapshot(memory(20 * MiB));
    EXPECT_EQ(visibleTexts(strip).filter("Disk memory").size(), 0);
    EXPECT_TRUE(visibleTexts(strip).contains("75% used"));
    strip.setSnapshot(memory(2ull << 30));
    EXPECT_TRUE(visibleTexts(strip).contains("Disk memory 2 GB"));
    // A failed read hides the figures; the next good one brings them back, disk line and all.
    strip.setSnapshot(memory(0, true));
    EXPECT_FALSE(visibleTexts(strip).contains("75% used"));
    EXPECT_EQ(visibleTexts(strip).filter("Disk memory").size(), 0);
    strip.setSnapshot(memory(100 * MiB));
    EXPECT_TRUE(visibleTexts(strip).contains("75% used"));
    EXPECT_TRUE(visibleTexts(strip).contains("Disk memory 100 MB"));
    strip.setSnapshot(std::nullopt);
    EXPECT_EQ(visibleTexts(strip), (QStringList{QString::fromUtf8("Watching your computer\u2026"),
                                                "Stories appear when an app uses a lot more memory."}));
}

}  // namespace
}  // namespace velmora
