// Pictures at the smallest window size over the longest content (a 60-character app name, −999.9 MB,
// +99.99 GB): the Stories page with its detail, the detail alone, Who's heavy, the floating card and
// the docked bar, saved under build/artifacts/long-*.png for people to look at.
#include <gtest/gtest.h>

// The engine headers come before Qt's: they use words Qt defines as macros (signals).
#include "tests/ui/LongContent.h"
#include "app/qt/AppStateAdapter.h"
#include "ui/main/MainWindow.h"
#include "ui/widget/FloatingWidgetController.h"
#include "ui/widget/QtWidgetPanel.h"

#include <QApplication>
#include <QDir>
#include <QScrollArea>
#include <QTest>

namespace velmora {
namespace {

QString artifact(const QString& name) {
    QDir dir(VELMORA_TEST_PROGRAMS);  // <build>/tests/programs
    dir.cdUp();
    dir.cdUp();
    dir.mkpath("artifacts");
    return dir.filePath("artifacts/long-" + name + ".png");
}

void settle() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    QTest::qWait(50);
}

TEST(LongTextShots, StoriesDetailHeavyCardAndBar) {
    ASSERT_TRUE(qEnvironmentVariableIsSet("VELMORA_DESKTOP")) << "run inside scripts/with-desktop.sh";
    LongContent h;
    AppStateAdapter adapter(*h.state, h.scheduler);
    MainWindow window(adapter);
    window.resize(900, 560);
    window.show();
    for (const auto& [item, name] : {std::pair{SidebarItem::timeline, "stories"}, std::pair{SidebarItem::apps, "whos-heavy"}}) {
        h.state->selectedSidebar = item;
        h.state->announceChange();
        settle();
        EXPECT_TRUE(window.grab().save(artifact(QString(name) + "-900x560"))) << name;
        if (item != SidebarItem::timeline) continue;
        // The whole detail as it scrolls, badges and spike line included, at the column's width.
        auto* detail = window.findChild<QScrollArea*>("storyDetail");
        ASSERT_NE(detail, nullptr);
        EXPECT_TRUE(detail->widget()->grab().save(artifact("story-detail-900x560")));
    }

    QtWidgetWindowing windowing;
    FloatingWidgetController controller(windowing, h.defaults, h.scheduler);
    windowing.attach(adapter, controller);
    for (const auto& [placement, name] :
         {std::pair{WidgetPlacement::floating, "widget-card"}, std::pair{WidgetPlacement::dockedBottom, "widget-docked"}}) {
        h.preferWidget(placement, false);
        controller.show();
        settle();
        QWidget* panel = LongContent::shownWidgetPanel();
        ASSERT_NE(panel, nullptr) << name;
        EXPECT_TRUE(panel->grab().save(artifact(name))) << name;
        controller.hide();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

}  // namespace
}  // namespace velmora
