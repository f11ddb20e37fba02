// Pictures over the longest content (120-character app names, −1,023.9 MB, +99.99 GB): Overview and
// the Stories page under the extension banner at the smallest and the default window size (there
// filtered to the long-named app), the
// story detail alone, Who's heavy, Live Chart and Trends at the smallest, the floating card, the docked bar and its
// settings with "Dock bottom" chosen, saved under build/artifacts/long-*.png for people to look at; then
// the story detail at 900x560 about a file name with underscores and about an app named in one
// word of 120 characters, and the card with a right-to-left name; every page over Arabic names.
#include <gtest/gtest.h>

// The engine headers come before Qt's: they use words Qt defines as macros (signals).
#include "tests/ui/LongContent.h"
#include "app/qt/AppStateAdapter.h"
#include "ui/main/MainWindow.h"
#include "ui/widget/FloatingWidgetController.h"
#include "ui/widget/FloatingWidgetView.h"
#include "ui/widget/QtWidgetPanel.h"
#include "ui/widget/WidgetSettingsPopover.h"
#include "tests/ui_shots/Shots.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QScrollArea>
#include <QTest>

namespace velmora {
namespace {

QString artifact(const QString& name) { return artifactFile("long-" + name); }

TEST(LongTextShots, PagesDetailCardBarAndSettings) {
    ASSERT_TRUE(qEnvironmentVariableIsSet("VELMORA_DESKTOP")) << "run inside scripts/with-desktop.sh";
    LongContent h;
    AppStateAdapter adapter(*h.state, h.scheduler);
    MainWindow window(adapter);
    window.resize(900, 560);
    window.show();
    for (const QSize size : {QSize(900, 560), QSize(1100, 700)}) {
        window.resize(size);
        const QString at = QString("-%1x%2").arg(size.width()).arg(size.height());
        for (const auto& [item, name] : {std::pair{SidebarItem::overview, "overview"}, std::pair{SidebarItem::timeline, "stories"},
                                         std::pair{SidebarItem::apps, "whos-heavy"}, std::pair{SidebarItem::liveChart, "live-chart"},
                                         std::pair{SidebarItem::trends, "trends"}}) {
            const bool bothSizes = item == SidebarItem::overview || item == SidebarItem::timeline;
            if (!bothSizes && size.width() != 900) continue;
            h.state->selectedSidebar = item;
            h.state->announceChange();
            settle();
            // At the default size the stories are those of the long-named app, chosen in the picker.
            if (auto* apps = window.findChild<QComboBox*>("appPicker"); item == SidebarItem::timeline && size.width() != 900) {
                ASSERT_NE(apps, nullptr);
                const int index = apps->findData(QString::fromStdString(h.frontName), Qt::ToolTipRole);
                ASSERT_GT(index, 0);
                apps->setCurrentIndex(index);
                emit apps->activated(index);
                settle();
            }
            EXPECT_TRUE(window.grab().save(artifact(name + at))) << name;
            if (item != SidebarItem::timeline) continue;
            auto* banner = window.findChild<QWidget*>("nudgeBanner");
            ASSERT_NE(banner, nullptr);
            EXPECT_TRUE(banner->isVisible());
            if (size.width() != 900) continue;
            // The whole detail as it scrolls, badges and spike line included, at the column's width.
            auto* detail = window.findChild<QScrollArea*>("storyDetail");
            ASSERT_NE(detail, nullptr);
            EXPECT_TRUE(detail->widget()->grab().save(artifact("story-detail-900x560")));
        }
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
        if (placement == WidgetPlacement::dockedBottom) {
            // Its settings, "Dock bottom" chosen.
            auto* view = panel->findChild<FloatingWidgetView*>();
            ASSERT_NE(view, nullptr);
            view->openSettings();
            settle();
            WidgetSettingsPopover* popover = view->settingsPopover();
            ASSERT_NE(popover, nullptr);
            bool chosen = false;
            for (auto* b : popover->findChildren<QAbstractButton*>())
                if (b->text() == "Dock bottom") chosen = b->isChecked();
            EXPECT_TRUE(chosen);
            EXPECT_TRUE(popover->grab().save(artifact("widget-settings-dock-bottom")));
            popover->hide();
        }
        hideWidget(controller);
    }
}

// The window at 900x560 on the detail of a story about a file name and about a one-word name, with
// the whole detail as it scrolls; the card with a right-to-left name.
TEST(LongTextShots, DetailOverAFileNameAndAOneWordNameCardWithARightToLeftName) {
    ASSERT_TRUE(qEnvironmentVariableIsSet("VELMORA_DESKTOP")) << "run inside scripts/with-desktop.sh";
    for (const auto& [names, name] : {std::pair{LongNames::words(), QString("file-name")}, std::pair{LongNames::oneWord(), QString("one-word")}}) {
        LongContent h(names);
        AppStateAdapter adapter(*h.state, h.scheduler);
        MainWindow window(adapter);
        window.resize(900, 560);
        window.show();
        h.state->selectedSidebar = SidebarItem::timeline;
        h.state->announceChange();
        settle();
        EXPECT_TRUE(window.grab().save(artifact("story-detail-" + name + "-900x560")));
        EXPECT_TRUE(window.findChild<QScrollArea*>("storyDetail")->widget()->grab().save(artifact("story-detail-" + name + "-whole-900x560")));
    }
    LongContent h(LongNames::rightToLeft());
    AppStateAdapter adapter(*h.state, h.scheduler);
    QtWidgetWindowing windowing;
    FloatingWidgetController controller(windowing, h.defaults, h.scheduler);
    windowing.attach(adapter, controller);
    h.preferWidget(WidgetPlacement::floating, false);
    controller.show();
    settle();
    ASSERT_NE(LongContent::shownWidgetPanel(), nullptr);
    EXPECT_TRUE(LongContent::shownWidgetPanel()->grab().save(artifact("widget-card-rtl")));
    // The panel goes before the state it shows.
    hideWidget(controller);
}

// Every page at 900x560 over Arabic names with an emoji after each word, inside the sentences
// that carry them.
TEST(LongTextShots, PagesOverArabicNamesWithEmoji) {
    ASSERT_TRUE(qEnvironmentVariableIsSet("VELMORA_DESKTOP")) << "run inside scripts/with-desktop.sh";
    LongContent h(LongNames::arabicWithEmoji());
    AppStateAdapter adapter(*h.state, h.scheduler);
    MainWindow window(adapter);
    window.resize(900, 560);
    window.show();
    for (const auto& [item, name] : {std::pair{SidebarItem::overview, "overview"}, std::pair{SidebarItem::timeline, "stories"},
                                     std::pair{SidebarItem::apps, "whos-heavy"}, std::pair{SidebarItem::liveChart, "live-chart"},
                                     std::pair{SidebarItem::trends, "trends"}}) {
        h.state->selectedSidebar = item;
        h.state->announceChange();
        settle();
        EXPECT_TRUE(window.grab().save(artifact(QString("arabic-") + name + "-900x560"))) << name;
    }
}

}  // namespace
}  // namespace velmora
