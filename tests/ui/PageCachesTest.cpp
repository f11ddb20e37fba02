// What the pages keep from one paint to the next must follow what they show: a story row's layout
// its text, total and width, a sparkline's picture its data, size and palette, a dense line's band
// its points, the heavy rows and their lines their values and size, the live chart's lines a new
// sample.
#include <gtest/gtest.h>

#include <memory>

#include "tests/ui/SeededHistory.h"
#include "ui/main/heavy/HeavyAppsModel.h"
#include "ui/main/heavy/HeavyPage.h"
#include "ui/main/livechart/LiveChartPage.h"
#include "ui/main/overview/PageParts.h"
#include "ui/main/stories/StoryListModel.h"
#include "ui/main/stories/StoryRowDelegate.h"
#include "ui/style/MarkedSparkline.h"
#include "ui/style/Painting.h"
#include "ui/style/Palette.h"
#include "ui/style/TextReport.h"

#include <QAbstractItemModelTester>
#include <QChartView>
#include <QCoreApplication>
#include <QImage>
#include <QLineSeries>
#include <QListView>
#include <QSignalSpy>

namespace velmora {
namespace {

TimelineEvent story(const std::string& title) {
    TimelineEvent s;
    s.id = Uuid::random();
    s.timestamp = Date{800000000.0};
    s.kind = TimelineEventKind::largeDelta;
    s.title = title;
    s.relatedApp = appIdentity("key.firefox", "Firefox");
    s.settled = ImpactWindow{300 * std::int64_t(MiB), 60, std::nullopt, 900 * MiB};
    return s;
}

TEST(PageCaches, AStoryRowIsSizedAgainWhenItsTextOrTheWidthChanges) {
    StoryListModel model;
    QListView view;
    view.setModel(&model);
    view.setItemDelegate(new StoryRowDelegate(&view));
    view.resize(700, 400);
    view.show();
    QCoreApplication::processEvents();
    TimelineEvent s = story("Firefox grew");
    model.update(std::vector{s});
    const int oneLine = view.sizeHintForRow(0);

    // The same story (one id) with a title too long for one line at this width.
    s.title = "Firefox used a great deal more memory while a long video played in a tab in the background";
    model.update(std::vector{s});
    const int twoLines = view.sizeHintForRow(0);
    EXPECT_GT(twoLines, oneLine);

    view.resize(2400, 400);
    QCoreApplication::processEvents();
    EXPECT_EQ(view.sizeHintForRow(0), oneLine);
    view.resize(700, 400);
    QCoreApplication::processEvents();
    EXPECT_EQ(view.sizeHintForRow(0), twoLines);
    s.title = "Firefox grew";
    model.update(std::vector{s});
    EXPECT_EQ(view.sizeHintForRow(0), oneLine);
}

// The pixels of a rectangle of `image`, to compare two paintings of one place.
QImage area(const QImage& image, const QRect& rect) { return image.copy(rect); }

// Whether column `x` of `image`, from row `top` to before `bottom`, has some of the accent: a blue
// far bluer than red, where the list's white and greys are as red as blue.
bool accentInColumn(const QImage& image, int x, int top, int bottom) {
    for (int y = top; y < bottom; ++y)
        if (image.pixelColor(x, y).blue() - image.pixelColor(x, y).red() > 60) return true;
    return false;
}

QImage paintedOnBlack(QWidget& widget) {
    QImage image(widget.size(), QImage::Format_ARGB32);
    image.fill(Qt::black);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// What a view paints, and the texts its delegates note while painting.
struct Painted {
    QImage image;
    std::vector<PaintedText> texts;
    // The noted text starting with `prefix`; none gives an empty one.
    PaintedText starting(const QString& prefix) const {
        for (const auto& t : texts)
            if (t.shown.startsWith(prefix)) return t;
        return {};
    }
};

Painted paintedWithTexts(QWidget& widget) {
    Painted out;
    setPaintedTextListener([&](const PaintedText& t) { out.texts.push_back(t); });
    out.image = paintedOnBlack(widget);
    setPaintedTextListener({});
    return out;
}

// The settled figures come after a story's words: its total changes while its title, explanation
// and the width stay, and the row then shows the new total, as a row drawn afresh does.
TEST(PageCaches, AStoryRowShowsANewTotalThoughItsWordsAndWidthStay) {
    StoryListModel model;
    const auto makeView = [&model](QListView& view) {
        view.setModel(&model);
        view.setItemDelegate(new StoryRowDelegate(&view));
        view.resize(700, 400);
        view.show();
        QCoreApplication::processEvents();
    };
    QListView view;
    makeView(view);
    TimelineEvent s = story("Firefox grew");
    model.update(std::vector{s});
    QCoreApplication::processEvents();
    const Painted before = paintedWithTexts(*view.viewport());
    const PaintedText total = before.starting("now ");
    EXPECT_EQ(total.shown.toStdString(), "now 900 MB");
    ASSERT_FALSE(total.box.isEmpty());

    s.settled->endFootprintBytes = 1200 * MiB;
    model.update(std::vector{s});
    QCoreApplication::processEvents();
    const Painted after = paintedWithTexts(*view.viewport());
    EXPECT_EQ(after.starting("now ").shown.toStdString(), "now 1.17 GB");
    EXPECT_EQ(after.starting("Firefox").shown.toStdString(), "Firefox grew");
    const QRect column = total.box.toAlignedRect();
    EXPECT_TRUE(area(after.image, column) != area(before.image, column)) << "the old total is still drawn";
    // A view that never drew the old total paints the same column.
    QListView fresh;
    makeView(fresh);
    EXPECT_TRUE(area(paintedOnBlack(*fresh.viewport()), column) == area(after.image, column))
        << "drawn otherwise than by a view that never drew the old total";
}

TEST(PageCaches, ASparklinePictureFollowsANewSampleItsSizeAndThePalette) {
    MarkedSparkline chart;
    chart.resize(200, 48);
    SparklineInput in;
    in.values.assign(900, 0.0);  // a quarter hour of flat line, more points than pixels
    in.windowEnd = Date{900};
    chart.setData(in, palette::orange());
    const QImage flat = paintedOnBlack(chart);
    EXPECT_LT(flat.pixelColor(197, 5).red(), 40);  // the top right is empty

    // A step in the last half minute takes the line's end to the top.
    for (std::size_t i = 870; i < 900; ++i) in.values[i] = 50 * 1048576.0;
    chart.setData(in, palette::orange());
    const QImage stepped = paintedOnBlack(chart);
    EXPECT_GT(stepped.pixelColor(197, 3).red(), 150);
    EXPECT_LT(stepped.pixelColor(100, 3).red(), 40);

    // Wider, the line runs to the new right edge.
    chart.resize(300, 48);
    EXPECT_GT(paintedOnBlack(chart).pixelColor(297, 3).red(), 150);

    // With no line, the placeholder takes the secondary colour of the palette of the moment.
    chart.setData({}, palette::orange());
    const QImage grey = paintedOnBlack(chart);
    EXPECT_NEAR(grey.pixelColor(150, 30).red(), grey.pixelColor(150, 30).green(), 3);
    QPalette red = chart.palette();
    red.setColor(QPalette::WindowText, Qt::red);
    chart.setPalette(red);
    const QImage reddish = paintedOnBlack(chart);
    EXPECT_GT(reddish.pixelColor(150, 30).red(), reddish.pixelColor(150, 30).green() + 8);
}

TEST(PageCaches, ADenseLineBecomesABandOverItsColumnsAndASparseOneStaysALine) {
    QPolygonF sparse;
    for (int i = 0; i < 10; ++i) sparse << QPointF(i + 0.5, 10);
    EXPECT_TRUE(denseLineBand(sparse, 10, 1).isEmpty());

    // Four points a column swinging between 10 and 20, and a last column that spikes to 2.
    QPolygonF dense;
    for (int i = 0; i < 40; ++i) dense << QPointF(i / 4.0, i % 2 ? 20.0 : 10.0);
    dense[39] = QPointF(9.9, 2);
    const QPolygonF band = denseLineBand(dense, 10, 1);
    ASSERT_EQ(band.size(), 20);
    EXPECT_EQ(band[0], QPointF(0.5, 9));     // the top edge, left to right
    EXPECT_EQ(band[8], QPointF(8.5, 9));
    EXPECT_EQ(band[9], QPointF(9.5, 1));     // the spike
    EXPECT_EQ(band[10], QPointF(9.5, 21));   // back along the bottom
    EXPECT_EQ(band[19], QPointF(0.5, 21));
}

HeavyAppsModel::Row heavyRow(const std::string& key, const std::string& bytes, std::vector<std::uint64_t> values) {
    return {key, key, false, bytes, std::move(values), std::nullopt};
}

TEST(PageCaches, HeavyRowsChangeOnlyWhereTheirDataChangedAndTheirLinesOnlyWithTheirValues) {
    HeavyAppsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setRows({heavyRow("a", "1 MB", {1, 2}), heavyRow("b", "2 MB", {3, 4}), heavyRow("c", "3 MB", {5, 6})});
    const auto version = [&](int row) { return model.data(model.index(row), HeavyAppsModel::valuesVersionRole).toULongLong(); };
    const auto a = version(0), b = version(1), c = version(2);
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);

    model.setRows({heavyRow("a", "1 MB", {1, 2}), heavyRow("b", "9 MB", {3, 4}), heavyRow("c", "3 MB", {5, 6})});
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes.back().at(0).toModelIndex().row(), 1);
    EXPECT_EQ(changes.back().at(1).toModelIndex().row(), 1);
    EXPECT_EQ(version(1), b);  // a new size text leaves the line alone

    model.setRows({heavyRow("a", "1 MB", {1, 2}), heavyRow("b", "9 MB", {3, 4}), heavyRow("c", "3 MB", {5, 6, 7})});
    ASSERT_EQ(changes.size(), 2);
    EXPECT_EQ(changes.back().at(0).toModelIndex().row(), 2);
    EXPECT_NE(version(2), c);
    EXPECT_EQ(version(0), a);

    model.setRows({heavyRow("a", "1 MB", {1, 2}), heavyRow("b", "9 MB", {3, 4}), heavyRow("c", "3 MB", {5, 6, 7})});
    EXPECT_EQ(changes.size(), 2);
}

// Who's heavy at 900x560 over seven apps' 400 seconds, showing the hour.
struct HourOfHeavyApps {
    AppHarness h;
    std::unique_ptr<HeavyPage> page;
    HourOfHeavyApps() {
        h.make();
        seedHistory(h, sevenApps(), 400);
        page = std::make_unique<HeavyPage>(*h.state);
        page->resize(900, 560);
        page->show();
        page->picker()->choose(2);  // the hour
        QCoreApplication::processEvents();
    }
};

TEST(PageCaches, AHeavyRowDrawsTheHoursNewSampleAndItsNewWidth) {
    HourOfHeavyApps shown;
    AppHarness& h = shown.h;
    HeavyPage& page = *shown.page;
    QWidget* viewport = page.list()->viewport();
    const QRect row = page.list()->visualRect(page.model()->index(0));
    // The line's band: under the name, left of the badge.
    const QRect line(row.left() + 20, row.bottom() - 40, row.width() - 120, 34);
    const QImage before = area(paintedOnBlack(*viewport), line);

    // Firefox (in front, first, and staying first) drops by 300 MB in the newest second.
    h.processes.processes[0].footprintBytes = *h.processes.processes[0].footprintBytes - 300 * MiB;
    h.state->sampler->tick();
    page.refresh();
    QCoreApplication::processEvents();
    EXPECT_NE(area(paintedOnBlack(*viewport), line), before);

    // Wider, the line reaches further right than the old width allowed.
    page.resize(1300, 560);
    QCoreApplication::processEvents();
    const QImage wide = paintedOnBlack(*viewport);
    const QRect wideRow = page.list()->visualRect(page.model()->index(0));
    EXPECT_TRUE(accentInColumn(wide, 900, wideRow.bottom() - 40, wideRow.bottom() - 6));
}

// A resize and nothing else between two paints (no sample, no refresh): the reduced line is made
// again for the new width and reaches into the room the page gained.
TEST(PageCaches, AHeavyRowsLineFollowsAResizeAlone) {
    HourOfHeavyApps shown;
    HeavyPage& page = *shown.page;
    const auto version = [&] { return page.model()->data(page.model()->index(0), HeavyAppsModel::valuesVersionRole); };
    const QVariant drawnVersion = version();
    QWidget* viewport = page.list()->viewport();
    const QImage narrow = paintedOnBlack(*viewport);
    const QRect narrowRow = page.list()->visualRect(page.model()->index(0));
    ASSERT_TRUE(accentInColumn(narrow, 700, narrowRow.bottom() - 40, narrowRow.bottom() - 6)) << "no line drawn";

    page.resize(1300, 560);
    QCoreApplication::processEvents();
    ASSERT_EQ(version(), drawnVersion) << "the values changed too";
    const QImage wide = paintedOnBlack(*viewport);
    const QRect row = page.list()->visualRect(page.model()->index(0));
    // The line's band, beyond the old width: each of these columns has some of the line.
    for (const int x : {900, 1000, 1100})
        EXPECT_TRUE(accentInColumn(wide, x, row.bottom() - 40, row.bottom() - 6)) << "column " << x;
}

TEST(PageCaches, ALiveChartLineDrawsANewSampleEvenWhenTheTimeAxisStaysPut) {
    AppHarness h;
    h.make();
    seedHistory(h, sevenApps(), 120);
    LiveChartPage page(*h.state);
    page.resize(900, 560);
    page.show();
    page.refresh();
    QCoreApplication::processEvents();
    auto* view = page.findChild<QChartView*>();
    ASSERT_NE(view, nullptr);
    const QImage before = view->grab().toImage();
    page.refresh();
    QCoreApplication::processEvents();
    ASSERT_EQ(view->grab().toImage(), before);  // nothing new, nothing moves

    // A sample at the same clock reading (the axis does not move) that leaves the memory axis
    // and the six lines as they were: Firefox's, the top one, ends in a drop to the bottom half.
    h.processes.processes[0].footprintBytes = 520 * MiB;
    h.state->sampler->tick();
    page.refresh();
    QCoreApplication::processEvents();
    const QImage after = view->grab().toImage();
    bool lowerHalfChanged = false;
    for (int y = after.height() / 2; y < after.height(); ++y)
        for (int x = 0; x < after.width(); ++x) lowerHalfChanged = lowerHalfChanged || after.pixel(x, y) != before.pixel(x, y);
    EXPECT_TRUE(lowerHalfChanged);
}

TEST(PageCaches, ALiveChartLineIsRedrawnOnceSomethingWouldMoveByAPixel) {
    AppHarness h;
    h.make();
    auto apps = sevenApps();
    for (auto& app : apps) app.wobble = 0;  // growth of a fraction of a pixel a second
    seedHistory(h, apps, 600);
    LiveChartPage page(*h.state);
    page.resize(900, 560);
    page.show();
    QCoreApplication::processEvents();
    page.refresh();
    QCoreApplication::processEvents();
    ASSERT_FALSE(page.chart()->series().isEmpty());
    auto* firefox = static_cast<QLineSeries*>(page.chart()->series().front());
    const QList<QPointF> drawn = firefox->points();

    seedHistory(h, apps, 1);
    page.refresh();
    EXPECT_EQ(firefox->points(), drawn);  // a third of a pixel along, 200 KB up: as drawn

    // A drop in the newest second shows at once.
    h.processes.processes[0].footprintBytes = *h.processes.processes[0].footprintBytes - 300 * MiB;
    h.state->sampler->tick();
    page.refresh();
    EXPECT_DOUBLE_EQ(firefox->points().back().y(), static_cast<double>(*h.processes.processes[0].footprintBytes) / 1073741824.0);
    const QList<QPointF> dropped = firefox->points();

    // A minute moves the time axis by many pixels: the line runs on to the newest sample.
    seedHistory(h, apps, 60);
    page.refresh();
    EXPECT_NE(firefox->points(), dropped);
    EXPECT_DOUBLE_EQ(firefox->points().back().x(), (h.clock.now() - 1.0).unixSeconds());
}


TEST(PageCaches, ALiveChartLineTakesANewValueWhileTheTimeAxisWaitsForAPixel) {
    AppHarness h;
    h.make();
    seedHistory(h, sevenApps(), 600);
    LiveChartPage page(*h.state);
    page.resize(900, 560);
    page.show();
    page.refresh();
    const auto axisEnd = [&] { return page.chart()->axes(Qt::Horizontal).value(0)->property("max").toDouble(); };
    const double drawnEnd = axisEnd();
    const QImage before = page.findChild<QChartView*>()->grab().toImage();

    // A second on (a third of a pixel), Firefox drops 300 MB: drawn at once, the axis unmoved.
    seedHistory(h, sevenApps(), 1);
    h.processes.processes[0].footprintBytes = 900 * MiB;
    h.state->sampler->tick();
    page.refresh();
    EXPECT_DOUBLE_EQ(static_cast<QLineSeries*>(page.chart()->series().front())->points().back().y(), 900.0 / 1024);
    EXPECT_NE(page.findChild<QChartView*>()->grab().toImage(), before);
    EXPECT_DOUBLE_EQ(axisEnd(), drawnEnd);
    seedHistory(h, sevenApps(), 10);  // four pixels
    page.refresh();
    EXPECT_DOUBLE_EQ(axisEnd(), h.clock.now().unixSeconds());
}
}  // namespace
}  // namespace velmora
