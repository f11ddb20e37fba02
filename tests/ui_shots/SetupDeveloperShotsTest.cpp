// The Setup and Developer pages and the sheets over seeded state, saved under build/artifacts/, in
// the application's own dark look on the private desktop. The checks are only that nothing spills.
#include <gtest/gtest.h>

// The engine headers come before Qt's: they use words Qt defines as macros (signals).
#include "tests/ui/SeededHistory.h"
#include "app/qt/AppStateAdapter.h"
#include "ui/main/MainWindow.h"
#include "ui/main/Page.h"
#include "ui/windows/FirstRunSheet.h"
#include "ui/windows/InfoSheets.h"

#include <QApplication>
#include <QDir>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

namespace velmora {
namespace {

QString artifactsDir() {
    QDir dir(VELMORA_TEST_PROGRAMS);  // <build>/tests/programs
    dir.cdUp();
    dir.cdUp();
    dir.mkpath("artifacts");
    return dir.filePath("artifacts");
}

void settle() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    QTest::qWait(50);
}

void save(QWidget& w, const QString& name) {
    const QString path = artifactsDir() + "/" + name;
    ASSERT_TRUE(w.grab().save(path)) << path.toStdString();
}

// The page's whole scrolling column, past what the window shows; no sideways scrolling.
void saveWhole(QWidget& page, const QString& name) {
    auto* scroll = page.findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible()) << name.toStdString();
    save(*scroll->widget(), name);
}

void seedDeveloperState(AppHarness& h) {
    h.sensors.bridge = {true, 18765, std::nullopt};
    h.state->sensorLastSource = "Extension";
    h.state->sensorLastTitle = "Pull requests \u00B7 velmora/velmora";
    const char* titles[] = {"Firefox grew by 1.2 GB while you watched a video", "Slack gave back 300 MB",
                            "Visual Studio Code kept growing for 12 minutes", "Memory got tight"};
    for (int n = 0; n < 4; ++n) {
        TimelineEvent story;
        story.id = Uuid::random();
        story.timestamp = h.clock.now() - (4 - n) * 600.0;
        story.title = titles[n];
        story.kind = n == 3 ? TimelineEventKind::pressureChanged : TimelineEventKind::largeDelta;
        story.primarySource = n == 3 ? SensorSource::systemPressure : SensorSource::significantChange;
        if (n == 0)
            story.supportingSources = {SensorSource::chromiumExtension, SensorSource::workspace,
                                       SensorSource::windowList, SensorSource::accessibility};
        if (n != 3) story.settled = ImpactWindow{(n == 1 ? -300 : 1200) * std::int64_t(MiB)};
        h.state->timeline->add(story);
    }
    for (int n = 0; n < 12; ++n) {
        h.clock.advance(7);
        SensorLogEntry e{Uuid::random(), h.clock.now(), n % 3 == 0 ? SensorSource::chromiumExtension : SensorSource::workspace,
                         n % 3 == 0 ? "Tab \u2192 Pull requests \u00B7 velmora/velmora" : "Became frontmost",
                         n % 2 ? std::optional<std::string>("Firefox") : std::nullopt,
                         n % 3 == 0 ? std::optional<std::string>("https://example.org/velmora/velmora/pulls?q=is%3Aopen+"
                                                                 "is%3Apr+review-requested%3A%40me+sort%3Aupdated-desc")
                                    : std::nullopt};
        h.state->recordSensorLog(e);
    }
}

TEST(SetupDeveloperShots, BothPagesAtTwoSizes) {
    ASSERT_TRUE(qEnvironmentVariableIsSet("VELMORA_DESKTOP")) << "run inside scripts/with-desktop.sh";
    AppHarness h;
    h.firstRun.temporary = true;
    h.installer.error = "Could not copy a complete app to ~/.local.";
    h.defaults.setValue("Velmora.DeveloperMode", true);
    h.make();
    h.state->start();
    seedDeveloperState(h);
    h.state->installToApplications();
    h.state->lastExportMessage = "Exported to velmora-export.json";
    AppStateAdapter adapter(*h.state, h.scheduler);
    MainWindow window(adapter);
    window.show();
    for (const QSize size : {QSize(900, 560), QSize(1400, 900)}) {
        window.resize(size);
        for (const auto& [item, file] : {std::pair{SidebarItem::settings, "setup"}, std::pair{SidebarItem::developer, "developer"}}) {
            h.state->selectedSidebar = item;
            h.state->announceChange();
            settle();
            save(window, QString("page-%1-%2x%3.png").arg(file).arg(size.width()).arg(size.height()));
        }
    }
    // Setup with More and Advanced open, and the Developer page, whole.
    for (auto* arrow : window.page(SidebarItem::settings)->findChildren<QToolButton*>()) arrow->click();
    h.state->selectedSidebar = SidebarItem::settings;
    h.state->announceChange();
    settle();
    saveWhole(*window.page(SidebarItem::settings), "page-setup-all.png");
    h.state->selectedSidebar = SidebarItem::developer;
    h.state->announceChange();
    settle();
    saveWhole(*window.page(SidebarItem::developer), "page-developer-all.png");
}

TEST(SheetShots, FirstRunHelpAndWhatsNew) {
    ASSERT_TRUE(qEnvironmentVariableIsSet("VELMORA_DESKTOP")) << "run inside scripts/with-desktop.sh";
    AppHarness h;
    h.firstRun.temporary = true;
    h.installer.error = "Could not locate the running application.";
    h.make();
    const auto shoot = [](QWidget& sheet, const QString& name) {
        sheet.show();
        sheet.adjustSize();
        settle();
        save(sheet, name);
    };
    FirstRunSheet sheet(*h.state);
    shoot(sheet, "first-run.png");
    h.state->installToApplications();
    FirstRunSheet failed(*h.state);
    shoot(failed, "first-run-install-failed.png");
    h.firstRun.temporary = false;
    h.state->lastInstallMessage.reset();
    FirstRunSheet normal(*h.state);
    shoot(normal, "first-run-installed-copy.png");

    HelpSheet help({"Ctrl+1", "Ctrl+7", "Ctrl+,", "Ctrl+Shift+M", "Ctrl+Shift+W", "Ctrl+Shift+1", "Ctrl+Shift+4"});
    shoot(help, "help.png");
    save(*help.findChild<QWidget*>("sheetContent"), "help-all.png");
    WhatsNewSheet news;
    shoot(news, "whats-new.png");
    save(*news.findChild<QWidget*>("sheetContent"), "whats-new-all.png");
}

}  // namespace
}  // namespace velmora
