// The shared painted pieces: exact colours, the confidence badge's alphas and sentence, source
// badges, the digits' font and the marked sparkline's geometry.
#include <gtest/gtest.h>

#include "ui/style/ConfidenceBadge.h"
#include "ui/style/Fonts.h"
#include "ui/style/MarkedSparkline.h"
#include "ui/style/Painting.h"
#include "ui/style/Palette.h"
#include "ui/style/SourceBadge.h"
#include "ui/style/SparklineGeometry.h"

#include <QApplication>
#include <QFontDatabase>
#include <QImage>
#include <QPainter>

namespace velmora {
namespace {

TEST(Style, PaletteHoldsTheExactComponents) {
    const std::tuple<QColor, float, float, float> colours[] = {
        {palette::green(), 0.30f, 0.72f, 0.42f},  {palette::orange(), 0.90f, 0.55f, 0.25f},
        {palette::yellow(), 0.90f, 0.70f, 0.20f}, {palette::red(), 0.90f, 0.35f, 0.30f},
        {palette::grey(), 0.65f, 0.60f, 0.55f},
    };
    for (const auto& [colour, r, g, b] : colours) {
        EXPECT_NEAR(colour.redF(), r, 1e-4);
        EXPECT_NEAR(colour.greenF(), g, 1e-4);
        EXPECT_NEAR(colour.blueF(), b, 1e-4);
        EXPECT_FLOAT_EQ(colour.alphaF(), 1.0f);
    }
    EXPECT_EQ(palette::forChange(0), palette::orange());
    EXPECT_EQ(palette::forChange(-1), palette::green());
}

// One channel of `c` laid at `alpha` over white, as 8-bit.
int over(int channel, double alpha) { return static_cast<int>(std::lround(alpha * channel + (1 - alpha) * 255)); }

TEST(Style, ConfidenceBadgeWordColourAlphasAndSentence) {
    const std::tuple<ConfidenceLevel, const char*, QColor, const char*> levels[] = {
        {ConfidenceLevel::high, "Strong", palette::green(),
         "How sure: Strong. We\u2019re fairly sure this matches what you were doing."},
        {ConfidenceLevel::medium, "Best guess", palette::yellow(),
         "How sure: Best guess. Best guess from the numbers \u2014 not proven for a specific tab or click."},
        {ConfidenceLevel::low, "Unsure", palette::grey(),
         "How sure: Unsure. We saw a memory change, but we\u2019re not sure why."},
    };
    for (const auto& [level, word, colour, sentence] : levels) {
        QWidget white;
        white.setAutoFillBackground(true);
        QPalette p = white.palette();
        p.setColor(QPalette::Window, Qt::white);
        white.setPalette(p);
        ConfidenceBadge badge(ConfidenceLevel::high, &white);
        badge.setLevel(level);
        badge.resize(badge.sizeHint());
        white.resize(badge.size());
        EXPECT_EQ(badge.text(), word);
        EXPECT_EQ(badge.accessibleName(), QString::fromUtf8(sentence));
        const QImage image = white.grab().toImage();
        const int mid = image.height() / 2;
        // Fill just inside the left curve's widest point; border on the top edge's middle; the
        // text is somewhere on the middle row in the full colour.
        const QColor fill = image.pixelColor(image.width() / 2, 2);
        const QColor border = image.pixelColor(image.width() / 2, 0);
        EXPECT_NEAR(fill.red(), over(colour.red(), 0.22), 3) << word;
        EXPECT_NEAR(fill.blue(), over(colour.blue(), 0.22), 3) << word;
        // The border lies over the fill: 0.55 of the colour over what the fill left.
        const auto bordered = [](int c) { return static_cast<int>(std::lround(0.55 * c + 0.45 * (0.22 * c + 0.78 * 255))); };
        EXPECT_NEAR(border.red(), bordered(colour.red()), 4) << word;
        EXPECT_NEAR(border.blue(), bordered(colour.blue()), 4) << word;
        int darkest = 255;
        for (int x = 0; x < image.width(); ++x) darkest = std::min(darkest, image.pixelColor(x, mid).blue());
        EXPECT_LE(darkest, colour.blue() + 20) << word;
        EXPECT_LT(darkest, over(colour.blue(), 0.55)) << word;
    }
}

TEST(Style, SourceBadgesDifferOnlyInText) {
    const std::pair<SensorSource, const char*> sources[] = {
        {SensorSource::significantChange, "\u0394 Memory"}, {SensorSource::unknown, "Unknown"},
        {SensorSource::windowList, "Window list"}};
    for (const auto& [source, text] : sources) {
        SourceBadge badge(SensorSource::memorySampler);
        badge.setSource(source);
        EXPECT_EQ(badge.accessibleName(), QString::fromUtf8(text));
        EXPECT_EQ(badge.sizeHint().height(), SourceBadge(SensorSource::memorySampler).sizeHint().height());
    }
    EXPECT_GT(SourceBadge(SensorSource::windowList).sizeHint().width(),
              SourceBadge(SensorSource::unknown).sizeHint().width());
}

// The label is in the default tone: its darkest pixel is the text colour itself, not the text at
// the secondary tone's 0.55 over the capsule.
TEST(Style, SourceBadgeLabelInTheDefaultTone) {
    SourceBadge badge(SensorSource::memorySampler);
    QPalette p = badge.palette();
    p.setColor(QPalette::WindowText, Qt::black);
    p.setColor(QPalette::Window, Qt::white);
    badge.setPalette(p);
    badge.resize(badge.sizeHint());
    const QImage image = badge.grab().toImage();
    int darkest = 255;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) darkest = std::min(darkest, qGray(image.pixel(x, y)));
    EXPECT_LT(darkest, 60);
}

TEST(Style, FontRolesAndEqualDigits) {
    const std::pair<TextRole, int> sizes[] = {{TextRole::largeTitle, 26}, {TextRole::title2, 17},
                                              {TextRole::title3, 15}, {TextRole::body, 13}, {TextRole::caption, 11}};
    for (const auto& [role, px] : sizes) EXPECT_EQ(roleFont(role).pixelSize(), px);
    EXPECT_EQ(roleFont(TextRole::headline).weight(), QFont::DemiBold);
    for (TextRole role : {TextRole::callout, TextRole::title3, TextRole::caption2}) {
        const QFont digits = numberFont(roleFont(role, QFont::Bold));
        EXPECT_TRUE(hasEqualDigits(digits));
        EXPECT_EQ(digits.pixelSize(), rolePixelSize(role));
        EXPECT_EQ(digits.weight(), QFont::Bold);
    }
    // A font with proportional digits falls back to the fixed one.
    QFont serif("DejaVu Serif");
    serif.setPixelSize(40);
    if (!hasEqualDigits(serif)) EXPECT_EQ(numberFont(serif).family(), QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
}

ChartStoryMark mark(double at, std::int64_t delta) { return {Uuid::random(), Date{at}, delta}; }

TEST(Style, SparklineGeometry) {
    struct Case {
        const char* name;
        std::vector<double> values;
        double height;
        double zeroY;
        std::vector<double> ys;
    };
    const Case cases[] = {
        {"no values: zero line in the middle, placeholder", {}, 48, 24, {}},
        {"one value: zero line on the bottom, placeholder", {0}, 48, 48, {}},
        {"constant: line 3 above the bottom, zero line on it", {0, 0, 0}, 48, 48, {45, 45, 45}},
        {"only falling: zero line on top, first point 3 below", {0, -10, -20}, 40, 0, {3, 20, 37}},
        {"rising", {0, 50, 100}, 40, 40, {37, 20, 3}},
        {"too low for the margins: points in the middle", {0, 100}, 4, 4, {2, 2}},
        {"height 0", {0, 100}, 0, 0, {0, 0}},
    };
    for (const auto& c : cases) {
        const auto g = sparklineGeometry({c.values, {}, {}, Date{0}, Date{900}, 90, c.height});
        EXPECT_DOUBLE_EQ(g.zeroY, c.zeroY) << c.name;
        std::vector<double> ys;
        for (const auto& p : g.points) ys.push_back(p.y);
        EXPECT_EQ(ys, c.ys) << c.name;
        EXPECT_EQ(g.placeholder(), c.ys.empty()) << c.name;
    }
    // Ticks by time, held to the window and 4.5 inside its edges (the dot and its outline show
    // whole), coloured by the mark's sign; also without values.
    const auto g = sparklineGeometry({{}, {}, {mark(0, 0), mark(-5, -1), mark(450, 7), mark(2000, 0), mark(NAN, 1), mark(3, 2), mark(896, 2)},
                                      Date{0}, Date{900}, 90, 48});
    const std::vector<SparklineGeometry::Tick> ticks{{4.5, false}, {4.5, true},  {45, false},  {85.5, false},
                                                     {4.5, false}, {4.5, false}, {85.5, false}};
    EXPECT_EQ(g.ticks, ticks);
    // A chart narrower than a dot puts its ticks in the middle.
    const auto narrow = sparklineGeometry({{}, {}, {mark(0, 0), mark(900, 1)}, Date{0}, Date{900}, 6, 48});
    EXPECT_EQ(narrow.ticks, (std::vector<SparklineGeometry::Tick>{{3, false}, {3, false}}));
    EXPECT_DOUBLE_EQ(g.dotY, 16.8);
    // A window that ends before it starts counts as one second long.
    EXPECT_DOUBLE_EQ(sparklineX(Date{100.5}, Date{100}, Date{50}, 90), 45);
    EXPECT_DOUBLE_EQ(sparklineX(Date{100.5}, Date{100}, Date{100.2}, 90), 45);
}

TEST(Style, SparklinePointsShareTheTicksTimeAxis) {
    // Sixty seconds of samples at the end of a 900-second window: the line starts where a tick at
    // its first sample's time stands, not at the left edge.
    SparklineInput in;
    in.windowStart = Date{0};
    in.windowEnd = Date{900};
    for (int i = 0; i <= 60; ++i) {
        in.values.push_back(i);
        in.dates.push_back(Date{840.0 + i});
    }
    in.marks = {mark(840, 5)};
    in.width = 900;
    in.height = 48;
    const auto g = sparklineGeometry(in);
    EXPECT_DOUBLE_EQ(g.points.front().x, 840);
    EXPECT_DOUBLE_EQ(g.points.back().x, 900);
    EXPECT_DOUBLE_EQ(g.ticks.front().x, g.points.front().x);
    in.dates.pop_back();  // dates that do not match the values: spaced by index
    EXPECT_DOUBLE_EQ(sparklineGeometry(in).points.front().x, 0);
}

TEST(Style, SparklinePaintsTicksInTheirColours) {
    MarkedSparkline chart;
    chart.resize(200, 48);
    chart.setData({{}, {}, {mark(0, -3), mark(100.5, 3), mark(200, 3)}, Date{0}, Date{200}, 0, 0}, palette::orange());
    QImage image(chart.size(), QImage::Format_ARGB32);
    image.fill(Qt::black);
    chart.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    const QColor dotGreen = image.pixelColor(1, 17), dotOrange = image.pixelColor(100, 17);
    // The dot at the window's end shows whole: its left half and its right edge both inside.
    EXPECT_NEAR(image.pixelColor(193, 17).red(), palette::orange().red(), 12);
    EXPECT_NEAR(image.pixelColor(198, 17).red(), palette::orange().red(), 30);
    EXPECT_NEAR(dotGreen.green(), palette::green().green(), 12);
    EXPECT_NEAR(dotOrange.red(), palette::orange().red(), 12);
    EXPECT_LT(dotOrange.blue(), dotOrange.red() / 2);
    // The tick line below the dot (centred on the pixel) is the orange at 0.45 over black.
    EXPECT_NEAR(image.pixelColor(100, 40).red(), std::lround(0.45 * palette::orange().red()), 14);
}

TEST(Style, ShareRingEndsItsArcRound) {
    // A quarter in red over a blue track: the round cap reaches past the top, back over the track.
    QImage image(44, 44, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    paintRing(p, QRectF(0, 0, 44, 44), 0.25, Qt::red, Qt::blue, 6);
    p.end();
    const QColor beforeStart = image.pixelColor(20, 3), onArc = image.pixelColor(35, 8), track = image.pixelColor(3, 22);
    EXPECT_GT(beforeStart.red(), 200);
    EXPECT_LT(beforeStart.blue(), 60);
    EXPECT_GT(onArc.red(), 200);
    EXPECT_GT(track.blue(), 200);
    EXPECT_LT(track.red(), 60);
}

}  // namespace
}  // namespace velmora
