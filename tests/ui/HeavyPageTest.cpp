// The heavy list offscreen: its model keyed by app, the delegate's row heights and the controls.
#include <gtest/gtest.h>

#include "tests/ui/SeededHistory.h"
#include "ui/main/heavy/HeavyAppsModel.h"
#include "ui/main/heavy/HeavyPage.h"
#include "ui/main/overview/PageParts.h"
#include "platform/qt/BidiText.h"
#include "ui/style/TextReport.h"
#include "tests/ui/NamesAlone.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QListView>
#include <QSignalSpy>


namespace velmora {
namespace {

TEST(HeavyAppsModel, SameKeysChangeDataAndOtherKeysReset) {
    HeavyAppsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    model.setRows({{"a", "A", false, "1 MB", {}, {}}, {"b", "B", true, "2 MB", {1, 2}, DeltaBadge{"flat", false}}});
    EXPECT_EQ(resets.count(), 1);
    model.setRows({{"a", "A", false, "3 MB", {}, {}}, {"b", "B", true, "2 MB", {1, 2}, DeltaBadge{"flat", true}}});
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(model.data(model.index(0), HeavyAppsModel::bytesTextRole).toString(), "3 MB");
    EXPECT_EQ(model.data(model.index(1), Qt::AccessibleTextRole).toString(),
              QString::fromUtf8("B, 2 MB, you\u2019re using this now, flat"));
    EXPECT_EQ(model.data(model.index(1), Qt::ToolTipRole).toString(), "B");
    EXPECT_FALSE(model.data(model.index(0), HeavyAppsModel::badgeTextRole).isValid());
    model.setRows({{"b", "B", true, "2 MB", {}, {}}});
    EXPECT_EQ(resets.count(), 2);
    EXPECT_EQ(model.rowCount(), 1);
}

TEST(HeavyPage, ListsTheHeaviestAndDropsChartsWhenToldTo) {
    AppHarness h;
    h.make();
    seedHistory(h, sevenApps(), 400);
    HeavyPage page(*h.state);
    page.resize(900, 560);
    page.refresh();
    auto* model = page.model();
    ASSERT_EQ(model->rowCount(), 7);
    EXPECT_EQ(model->row(0).name, "Firefox");
    EXPECT_TRUE(model->row(0).foreground);
    EXPECT_FALSE(model->row(1).foreground);
    EXPECT_EQ(model->row(1).values.size(), 300u);  // five minutes
    EXPECT_EQ(model->row(2).badge, (DeltaBadge{"flat", false}));
    const int tall = page.list()->sizeHintForRow(1);
    page.picker()->choose(2);
    EXPECT_EQ(model->row(1).values.size(), 400u);  // the hour holds all there is
    EXPECT_EQ(model->row(1).badge, (DeltaBadge{"\u221239 MB", true}));
    page.chartsToggle()->click();
    EXPECT_TRUE(model->row(1).values.empty());
    EXPECT_FALSE(model->row(1).badge.has_value());
    EXPECT_LT(page.list()->sizeHintForRow(1), tall - 30);
}

// Each row's name stands alone: a right-to-left one takes its own direction ("(בדיקה) כלי" keeps
// its words in order, an emoji after an Arabic name stands on its left) yet starts at the names'
// column like a Latin one; one too long for its row has its "…" at its left end, where it is cut.
TEST(HeavyPage, ARightToLeftNameTakesItsOwnDirectionInTheNamesColumn) {
    const QString hebrew = QString::fromUtf8("(בדיקה) כלי");  // "tool (test)"
    const QString words = QString::fromUtf8("متصفح الويب السريع");  // "the fast web browser"
    const QString rocket = QString::fromUtf8("🚀");
    const QString arabic = words + " " + rocket;
    QString longName = words;
    for (int i = 0; i < 8; ++i) longName += " " + words;
    AppHarness h;
    h.make();
    seedHistory(h, {{"Firefox", "firefox", 900 * MiB, 0}, {hebrew.toStdString(), "tool", 800 * MiB, 0},
                    {arabic.toStdString(), "browser", 700 * MiB, 0}, {longName.toStdString(), "long", 600 * MiB, 0}}, 3);
    HeavyPage page(*h.state);
    page.resize(900, 560);
    page.show();
    page.refresh();
    QCoreApplication::processEvents();
    std::vector<PaintedText> painted;
    setPaintedTextListener([&](const PaintedText& t) { painted.push_back(t); });
    const QImage image = page.list()->viewport()->grab().toImage();
    setPaintedTextListener({});
    const auto paintedName = [&](const QString& start) -> PaintedText {
        for (const PaintedText& t : painted)
            if (withoutMarks(t.shown).startsWith(start)) return t;
        ADD_FAILURE() << "no name painted starting " << start.toStdString();
        return {};
    };

    const int column = inkIn(image, paintedName("Firefox").box.toRect()).left;
    const struct {
        QString name;
        QStringList leftToRight;  // as drawn
    } cases[] = {
        {hebrew, {QString::fromUtf8("כלי"), QString::fromUtf8("בדיקה")}},
        {arabic, {rocket, QString::fromUtf8("السريع"), QString::fromUtf8("الويب"), QString::fromUtf8("متصفح")}},
    };
    for (const auto& c : cases) {
        const PaintedText t = paintedName(c.name);
        EXPECT_EQ(withoutMarks(t.shown), c.name);
        const std::vector<qreal> edges = leftEdges(t.shown, t.font, c.leftToRight);
        for (std::size_t i = 1; i < edges.size(); ++i) EXPECT_LT(edges[i - 1], edges[i]) << c.name.toStdString();
        EXPECT_NEAR(inkIn(image, t.box.toRect()).left, column, 2) << c.name.toStdString();
    }
    // As painted: the rocket's colour stands left of the Arabic letters.
    const Ink ink = inkIn(image, paintedName(arabic).box.toRect());
    EXPECT_GE(ink.colourRight, 0) << "the emoji is not drawn in colour";
    EXPECT_LT(ink.colourRight, ink.lettersLeft);

    const PaintedText cut = paintedName(words + " " + words);
    EXPECT_LE(QFontMetrics(cut.font).horizontalAdvance(cut.shown), cut.box.width());
    const auto [dots, letters] = ellipsisAndLetters(cut.shown, cut.font);
    EXPECT_LE(dots, letters + 0.5);
    EXPECT_EQ(page.model()->data(page.model()->index(3), Qt::ToolTipRole).toString(), longName);
}

}  // namespace
}  // namespace velmora
