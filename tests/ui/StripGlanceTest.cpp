// The pressure strip and the glance cards: their texts as tables, then the painted dot, bar
// and cards offscreen.
#include <gtest/gtest.h>

#include "tests/app/AppHarness.h"
#include "tests/ui/EventCounter.h"
#include "tests/ui/NamesAlone.h"
#include "ui/main/glance/GlanceRules.h"
#include "ui/main/ElidedLabel.h"
#include "ui/main/glance/LiveGlanceCharts.h"
#include "ui/main/strip/PressureStripRules.h"
#include "ui/main/strip/SystemPressureStrip.h"
#include "ui/style/MarkedSparkline.h"
#include "ui/style/Palette.h"

#include <QCoreApplication>
#include <QImage>
#include <QLabel>

namespace velmora {
namespace {

SystemMemorySnapshot snapshot(std::uint64_t total, std::uint64_t available, std::uint64_t swap = 0,
                              MemoryPressureLevel level = MemoryPressureLevel::normal, bool failed = false) {
    SystemMemorySnapshot s;
    s.pressure = level;
    s.totalPhysicalBytes = total;
    s.availableBytes = available;
    s.swapUsedBytes = swap;
    s.readFailed = failed;
    return s;
}

TEST(PressureStrip, Texts) {
    struct Case {
        const char* name;
        std::optional<SystemMemorySnapshot> snap;
        std::string headline, explanation;
        std::optional<int> percent;  // absent: no figures
        double fraction;
        std::string used, free;
        std::optional<std::string> disk;
    };
    const std::string ok = "Computer memory: OK", calm = "No overall memory stress right now.";
    const Case cases[] = {
        {"before the first sample", std::nullopt, "Watching your computer\u2026",
         "Stories appear when an app uses a lot more memory.", {}, 0, "", "", {}},
        {"0.375 rounds up", snapshot(1000, 625), ok, calm, 38, 0.375, "38% used", "625 bytes free of 1,000 bytes", {}},
        {"0.374 rounds down", snapshot(1000, 626), ok, calm, 37, 0.374, "37% used", "626 bytes free of 1,000 bytes", {}},
        {"no total", snapshot(0, 0), ok, calm, 0, 0, "0% used", "0 bytes free of 0 bytes", {}},
        {"more free than installed", snapshot(1000, 4000), ok, calm, 0, 0, "0% used", "4 KB free of 1,000 bytes", {}},
        {"exactly 50 MiB on disk", snapshot(16ull << 30, 8ull << 30, 52'428'800), ok, calm, 50, 0.5, "50% used",
         "8 GB free of 16 GB", {}},
        {"just over 50 MiB on disk", snapshot(16ull << 30, 8ull << 30, 52'428'801), ok, calm, 50, 0.5, "50% used",
         "8 GB free of 16 GB", "Disk memory 50 MB"},
        {"warning", snapshot(1000, 100, 0, MemoryPressureLevel::warning), "Computer memory: getting tight",
         "Apps may feel slower. See stories below.", 90, 0.9, "90% used", "100 bytes free of 1,000 bytes", {}},
        {"critical", snapshot(1000, 10, 0, MemoryPressureLevel::critical), "Computer memory: under pressure",
         "Closing heavy apps can help.", 99, 0.99, "99% used", "10 bytes free of 1,000 bytes", {}},
        {"a failed read keeps the headline, shows no figures",
         snapshot(0, 0, 0, MemoryPressureLevel::warning, true), "Computer memory: getting tight",
         "Apps may feel slower. See stories below.", {}, 0, "", "", {}},
    };
    for (const auto& c : cases) {
        const PressureStripText t = pressureStripText(c.snap);
        EXPECT_EQ(t.headline, c.headline) << c.name;
        EXPECT_EQ(t.explanation, c.explanation) << c.name;
        EXPECT_EQ(t.summary, c.headline + ". " + c.explanation) << c.name;
        ASSERT_EQ(t.figures.has_value(), c.percent.has_value()) << c.name;
        if (!t.figures) continue;
        EXPECT_EQ(t.figures->usedPercent, *c.percent) << c.name;
        EXPECT_DOUBLE_EQ(t.figures->fillFraction, c.fraction) << c.name;
        EXPECT_EQ(t.figures->usedText, c.used) << c.name;
        EXPECT_EQ(t.figures->freeText, c.free) << c.name;
        EXPECT_EQ(t.figures->diskText, c.disk) << c.name;
    }
    EXPECT_EQ(pressureStripText(snapshot(1000, 625)).figures->spoken, "38 percent used, 625 bytes free of 1,000 bytes total");
}

TEST(PressureStrip, DotBarAndFiguresOffscreen) {
    SystemPressureStrip strip;
    strip.resize(600, strip.sizeHint().height());
    auto* figures = strip.findChild<QWidget*>("stripFigures");
    const std::tuple<MemoryPressureLevel, QColor, std::uint64_t, int> levels[] = {
        {MemoryPressureLevel::normal, palette::green(), 750, 23},
        {MemoryPressureLevel::warning, palette::yellow(), 500, 45},
        {MemoryPressureLevel::critical, palette::red(), 100, 81},
    };
    for (const auto& [level, colour, available, run] : levels) {
        strip.setSnapshot(snapshot(1000, available, 0, level));
        strip.show();
        const QImage image = strip.grab().toImage();
        // The dot's centre: 16 px in, half the height down.
        EXPECT_EQ(image.pixelColor(16 + 5, image.height() / 2).rgb(), colour.rgb()) << static_cast<int>(level);
        // The bar's coloured run on its middle row is 90 × the fraction, within a pixel.
        QWidget* bar = figures->findChildren<QWidget*>().at(0);
        for (QWidget* w : figures->findChildren<QWidget*>())
            if (w->size() == QSize(90, 5)) bar = w;
        const QPoint origin = bar->mapTo(&strip, QPoint(0, 2));
        int coloured = 0;
        for (int x = 0; x < 90; ++x) {
            const QColor c = image.pixelColor(origin.x() + x, origin.y());
            if (std::abs(c.red() - colour.red()) < 20 && std::abs(c.green() - colour.green()) < 20) ++coloured;
        }
        EXPECT_NEAR(coloured, run, 1.5) << static_cast<int>(level);
        EXPECT_TRUE(figures->isVisible());
    }
    EXPECT_EQ(strip.accessibleName(), "Computer memory: under pressure. Closing heavy apps can help.");
    EXPECT_EQ(figures->accessibleName(), "90 percent used, 100 bytes free of 1,000 bytes total");
    strip.setSnapshot(snapshot(0, 0, 0, MemoryPressureLevel::critical, true));
    EXPECT_FALSE(figures->isVisible());
    strip.setSnapshot(std::nullopt);
    EXPECT_EQ(strip.statusColor(), palette::secondaryText(&strip));
}

TEST(GlanceCharts, DeltaLabels) {
    const std::pair<std::vector<std::uint64_t>, std::string> cases[] = {
        {{}, " "},
        {{5'000'000}, " "},
        {{0, 1'048'575}, "flat"},
        {{1'048'575, 0}, "flat"},
        {{0, 1'048'576}, "+1 MB"},
        {{1'048'576, 0}, "\u22121 MB"},
        {{7, 0, 7}, "flat"},
        {{0, UINT64_MAX}, "+8,388,608 TB"},
    };
    for (const auto& [bytes, label] : cases) EXPECT_EQ(glanceDeltaLabel(bytes), label);
}

TEST(GlanceCharts, Cards) {
    const Date start{1000}, end{1900};
    const auto empty = glanceCard("Heaviest app", {}, {{Uuid::random(), Date{1500}, -1}}, start, end);
    EXPECT_EQ(std::tie(empty.value, empty.trend, empty.trendColoured), std::make_tuple("\u2014", " ", false));
    EXPECT_TRUE(empty.line.values.empty());
    EXPECT_EQ(empty.line.marks.size(), 1u);

    const auto falling = glanceCard("Free on computer", {{Date{1800}, 3u << 30}, {Date{1850}, 2u << 30}}, {}, start, end);
    EXPECT_EQ(std::tie(falling.value, falling.trend, falling.trendColoured),
              std::make_tuple("2 GB", "\u22121 GB", true));
    EXPECT_EQ(falling.line.values, (std::vector<double>{0, -1073741824.0}));
    EXPECT_EQ(falling.line.dates, (std::vector<Date>{Date{1800}, Date{1850}}));
    const auto flat = glanceCard("Free", {{Date{1800}, 10}, {Date{1850}, 11}}, {}, start, end);
    EXPECT_EQ(std::tie(flat.trend, flat.trendColoured), std::make_tuple("flat", false));
}

TEST(GlanceCharts, FromTheStateWithoutFailedReads) {
    AppHarness h;
    AppState& s = h.make();
    const auto cards = glanceCharts(s);
    EXPECT_EQ(std::tie(cards.free.title, cards.free.value), std::make_tuple("Free on computer", "\u2014"));
    EXPECT_EQ(std::tie(cards.app.title, cards.app.value), std::make_tuple("Heaviest app", "\u2014"));

    const std::pair<std::uint64_t, bool> reads[] = {{8ull << 30, false}, {0, true}, {7ull << 30, false}};
    for (const auto& [available, failed] : reads) {
        auto snap = snapshot(16ull << 30, available, 0, MemoryPressureLevel::normal, failed);
        snap.timestamp = h.clock.now();
        s.timeline->recordSystemSnapshot(snap);
        h.clock.advance(1);
    }
    h.processes.processes = {{100, "/usr/lib/firefox/firefox", "firefox", 1, 900 * MiB}};
    h.desktop.apps = {{100, "firefox", "Firefox", false, true}};
    h.memory.reading = {16ull << 30, 7ull << 30, 0, 0, MemoryPressureLevel::normal};
    s.sampler->tick();
    const auto now = glanceCharts(s);
    // The failed read is no cliff: 8 GB, then 7 GB twice.
    EXPECT_EQ(now.free.line.values, (std::vector<double>{0, -1073741824.0, -1073741824.0}));
    EXPECT_EQ(now.free.trend, "\u22121 GB");
    EXPECT_EQ(std::tie(now.app.title, now.app.value), std::make_tuple("Firefox", "900 MB"));
    EXPECT_EQ(now.app.line.windowEnd - now.app.line.windowStart, 900);
}

TEST(GlanceCharts, CardsOffscreen) {
    LiveGlanceCharts charts;
    charts.resize(700, charts.sizeHint().height());
    const Date start{0}, end{900};
    charts.setCharts({glanceCard("Free on computer", {{Date{800}, 5u << 30}, {Date{900}, 6u << 30}}, {}, start, end),
                      glanceCard("Heaviest app", {}, {}, start, end)});
    charts.show();
    QCoreApplication::processEvents();
    auto* free = charts.findChild<QWidget*>("freeCard");
    auto* app = charts.findChild<QWidget*>("appCard");
    EXPECT_EQ(free->width(), app->width());
    EXPECT_EQ(free->findChild<QLabel*>("glanceTrend")->text(), "+1 GB");
    EXPECT_EQ(free->findChild<QLabel*>("glanceTrend")->palette().color(QPalette::WindowText), palette::green());
    EXPECT_EQ(app->findChild<QLabel*>("glanceValue")->text(), "\u2014");
    EXPECT_NE(app->findChild<QLabel*>("glanceTrend")->palette().color(QPalette::WindowText), palette::orange());
    auto* line = free->findChild<MarkedSparkline*>();
    EXPECT_EQ(line->height(), 48);
    const auto g = line->geometry();
    ASSERT_EQ(g.points.size(), 2u);
    EXPECT_NEAR(g.points.front().x, line->width() * 800.0 / 900, 1e-9);  // placed by time

    // Squeezed beside its figures, the title is cut with an ellipsis, never mid-letter.
    auto* title = free->findChild<ElidedLabel*>("glanceTitle");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->lines(400), QStringList{"Free on computer"});
    const QStringList narrow = title->lines(40);
    ASSERT_EQ(narrow.size(), 1);
    EXPECT_TRUE(narrow.front().endsWith(QChar(0x2026))) << narrow.front().toStdString();

    // A card too narrow for title and figures on one line puts the title whole above them, and
    // takes it back beside them when it widens again.
    auto* card = static_cast<LiveGlanceCharts::Card*>(free);
    EXPECT_FALSE(card->titleAbove());
    const int wideHeight = charts.sizeHint().height();
    charts.resize(380, wideHeight);
    QCoreApplication::processEvents();
    EXPECT_TRUE(card->titleAbove());
    EXPECT_EQ(title->lines(title->width()), QStringList{"Free on computer"});
    EXPECT_GT(card->value()->y(), title->y() + title->height() - 1);
    EXPECT_GT(charts.sizeHint().height(), wideHeight);
    charts.resize(700, wideHeight);
    QCoreApplication::processEvents();
    EXPECT_FALSE(card->titleAbove());
    EXPECT_EQ(card->value()->y() / 10, title->y() / 10);  // one line again
    EXPECT_EQ(charts.sizeHint().height(), wideHeight);
}


// A figure of another width is laid out whole; one of the same width repaints its label alone.
TEST(GlanceCharts, AWiderFigureIsLaidOutAndOneOfTheSameWidthRepaintsAlone) {
    LiveGlanceCharts charts;
    charts.resize(700, charts.sizeHint().height());
    const auto cards = [](std::uint64_t appBytes) {
        const Date start{0}, end{900};
        return GlanceCharts{glanceCard("Free on computer", {}, {}, start, end),
                            glanceCard("Firefox", {{Date{800}, appBytes - 300 * MiB}, {Date{900}, appBytes}}, {}, start, end)};
    };
    charts.setCharts(cards(901 * MiB));
    charts.show();
    QCoreApplication::processEvents();
    auto* app = static_cast<LiveGlanceCharts::Card*>(charts.findChild<QWidget*>("appCard"));
    const int narrow = app->value()->width();
    charts.setCharts(cards(12600 * MiB));
    QCoreApplication::processEvents();
    EXPECT_EQ(app->value()->text(), "12.3 GB");
    EXPECT_GT(app->value()->width(), narrow);
    EXPECT_EQ(app->value()->size(), app->value()->sizeHint());
    EXPECT_LE(app->value()->geometry().right(), app->trend()->geometry().left());

    EventCounter layouts(QEvent::LayoutRequest);
    app->installEventFilter(&layouts);
    charts.setCharts(cards(12700 * MiB));
    QCoreApplication::processEvents();
    EXPECT_EQ(app->value()->text(), "12.4 GB");
    EXPECT_EQ(layouts.count, 0);
}
// The heaviest app's name stands alone as its card's title: it takes its own direction, and is
// spoken and shown whole without the marks that give it.
TEST(GlanceCharts, AnAppNameTitleTakesItsOwnDirection) {
    LiveGlanceCharts charts;
    charts.resize(700, charts.sizeHint().height());
    for (const AloneName& name : {hebrewAlone, arabicAlone}) {
        charts.setCharts({glanceCard("Free on computer", {}, {}, Date{0}, Date{900}),
                          glanceCard(name.name.toStdString(), {{Date{800}, 5u << 30}}, {}, Date{0}, Date{900})});
        auto* title = charts.findChild<QWidget*>("appCard")->findChild<ElidedLabel*>("glanceTitle");
        ASSERT_NE(title, nullptr);
        expectInOrder(title->text(), title->font(), name.leftToRight);
        EXPECT_EQ(title->toolTip(), name.name);
        EXPECT_TRUE(charts.findChild<QWidget*>("appCard")->accessibleName().startsWith(name.name + ", "));
    }
}

// Beside a card whose figures stand one under the other, a card whose figures share a line keeps
// them at the top, level with its neighbour's value, and its line at the bottom as its neighbour's.
TEST(GlanceCharts, FiguresStayLevelWhenOnlyOneCardStacksThem) {
    LiveGlanceCharts charts;
    charts.setCharts({glanceCard("Free on computer", {{Date{800}, 1u << 30}, {Date{900}, 1u << 30}}, {}, Date{0}, Date{900}),
                      glanceCard("Heaviest app", {{Date{800}, 1u << 20}, {Date{900}, 1073636966}}, {}, Date{0}, Date{900})});
    charts.resize(330, charts.sizeHint().height());
    charts.show();
    QCoreApplication::processEvents();
    auto* free = static_cast<LiveGlanceCharts::Card*>(charts.findChild<QWidget*>("freeCard"));
    auto* app = static_cast<LiveGlanceCharts::Card*>(charts.findChild<QWidget*>("appCard"));
    ASSERT_TRUE(app->figuresStacked() && !free->figuresStacked());
    const auto top = [&](QWidget* card, const char* name) { return card->findChild<QWidget*>(name)->mapTo(&charts, QPoint()).y(); };
    EXPECT_EQ(top(free, "glanceValue"), top(app, "glanceValue"));
    EXPECT_EQ(free->findChild<MarkedSparkline*>()->mapTo(&charts, QPoint()).y(),
              app->findChild<MarkedSparkline*>()->mapTo(&charts, QPoint()).y());
}

}  // namespace
}  // namespace velmora
