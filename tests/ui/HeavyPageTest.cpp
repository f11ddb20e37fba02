// The heavy list offscreen: its model keyed by app, the delegate's row heights and the controls.
#include <gtest/gtest.h>

#include "tests/ui/SeededHistory.h"
#include "ui/main/heavy/HeavyAppsModel.h"
#include "ui/main/heavy/HeavyPage.h"
#include "ui/main/overview/PageParts.h"

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

}  // namespace
}  // namespace velmora
