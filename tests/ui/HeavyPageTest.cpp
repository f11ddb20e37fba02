// The heavy list offscreen: its model keyed by app, the delegate's row heights and the controls.
#include <gtest/gtest.h>

#include "tests/ui/SeededHistory.h"
#include "ui/main/heavy/HeavyAppsModel.h"
#include "ui/main/heavy/HeavyPage.h"
#include "ui/main/overview/PageParts.h"
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
    QString longName = arabicWords;
    for (int i = 0; i < 8; ++i) longName += " " + arabicWords;
    AppHarness h;
    h.make();
    seedHistory(h, {{"Firefox", "firefox", 900 * MiB, 0}, {hebrewAlone.name.toStdString(), "tool", 800 * MiB, 0},
                    {arabicAlone.name.toStdString(), "browser", 700 * MiB, 0}, {longName.toStdString(), "long", 600 * MiB, 0}}, 3);
    HeavyPage page(*h.state);
    showRefreshed(page, 900, 560);
    const Painted painted = paintedBy(*page.list()->viewport());

    const int column = inkIn(painted.image, painted.startingWith("Firefox").box.toRect()).left;
    for (const AloneName& c : {hebrewWordsAlone, arabicAlone}) {
        SCOPED_TRACE(c.name.toStdString());
        const PaintedText t = painted.startingWith(c.name);
        EXPECT_EQ(withoutMarks(t.shown), c.name);
        expectInOrder(t.shown, t.font, c.leftToRight);
        EXPECT_NEAR(inkIn(painted.image, t.box.toRect()).left, column, 2);
    }
    // As painted: the rocket's colour stands left of the Arabic letters.
    expectEmojiLeftOfLetters(inkIn(painted.image, painted.startingWith(arabicAlone.name).box.toRect()));

    const PaintedText cut = painted.startingWith(arabicWords + " " + arabicWords);
    EXPECT_LE(QFontMetrics(cut.font).horizontalAdvance(cut.shown), cut.box.width());
    expectCutAtItsLeft(cut.shown, cut.font);
    EXPECT_EQ(page.model()->data(page.model()->index(3), Qt::ToolTipRole).toString(), longName);
}

}  // namespace
}  // namespace velmora
