// Pictures of right-to-left app names where the UI puts them beside words and figures: Check one
// action at 900x560 while watching and while settling an Arabic-named app, and its report; the
// widget's card and docked bar with an Arabic name cut just after an emoji. Saved under
// build/artifacts/bidi-*.png for people to look at.
#include <gtest/gtest.h>

// The engine headers come before Qt's: they use words Qt defines as macros (signals).
#include "tests/app/AppHarness.h"
#include "app/qt/AppStateAdapter.h"
#include "ui/main/ElidedLabel.h"
#include "ui/main/MainWindow.h"
#include "ui/widget/FloatingWidgetController.h"
#include "ui/widget/FloatingWidgetView.h"
#include "ui/widget/QtWidgetPanel.h"
#include "tests/ui_shots/Shots.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QTest>

namespace velmora {
namespace {

QString artifact(const QString& name) { return artifactFile("bidi-" + name); }

// "Document manager 📁" in Arabic, as a desktop entry's translated name gives it.
const std::string arabicName = "مدير المستندات 📁";

TEST(MeasureWidgetBidiShots, CheckOneActionWatchingSettlingAndReport) {
    ASSERT_TRUE(qEnvironmentVariableIsSet("VELMORA_DESKTOP")) << "run inside scripts/with-desktop.sh";
    AppHarness h;
    h.make();
    const ProcessIdentity app = appIdentity("org.example.Documents", arabicName);
    const auto sample = [&](double seconds, std::uint64_t bytes) {
        h.clock.advance(seconds);
        h.steady.now += seconds;
        h.state->handleTick({{.identity = app, .footprintBytes = bytes, .isForeground = true}},
                            {.availableBytes = 8ull << 30, .totalPhysicalBytes = 16ull << 30, .timestamp = h.clock.now()});
    };
    AppStateAdapter adapter(*h.state, h.scheduler);
    MainWindow window(adapter);
    window.resize(900, 560);
    window.show();
    h.state->selectedSidebar = SidebarItem::measure;
    h.state->announceChange();
    settle();
    auto* status = window.findChild<QLabel*>("measureStatus");
    ASSERT_NE(status, nullptr);

    // 1.47 GB at the start, 2.93 GB while watching: "Watching …: 2.93 GB (+1.46 GB vs start)".
    auto& c = *h.state->measureController;
    c.start();
    for (int i = 0; i < 4; ++i) sample(1, 1505 * MiB);
    sample(1, 3000 * MiB);
    settle();
    ASSERT_TRUE(status->text().contains("2.93"));
    EXPECT_TRUE(window.grab().save(artifact("measure-watching-900x560")));

    c.done();
    sample(2, 2800 * MiB);
    settle();
    ASSERT_TRUE(status->text().contains("58s"));
    EXPECT_TRUE(window.grab().save(artifact("measure-settling-900x560")));

    c.showResultNow();
    h.state->announceChange();
    settle();
    ASSERT_TRUE(window.findChild<QWidget*>("measureResult")->isVisible());
    EXPECT_TRUE(window.grab().save(artifact("measure-report-900x560")));
}

// The card and the docked bar over an Arabic name ending in a row of emoji ("My documents 📁🗂…"),
// long enough that both cut it just after an emoji.
TEST(MeasureWidgetBidiShots, WidgetCardAndDockedBarCutAnArabicNameAfterAnEmoji) {
    ASSERT_TRUE(qEnvironmentVariableIsSet("VELMORA_DESKTOP")) << "run inside scripts/with-desktop.sh";
    const std::string name = "مستنداتي 📁🗂📌📊📈🎵📄🏢🎬📎";
    AppHarness h;
    h.make();
    for (int t = 0; t < 120; ++t) {
        h.clock.advance(1);
        h.steady.now += 1;
        h.processes.processes.clear();
        h.desktop.apps.clear();
        h.addApp(100, "documents", name, (900 + (t > 100 ? 300 : 0)) * MiB, true);
        h.memory.reading = {16000 * MiB, 7000 * MiB, 0, 0, MemoryPressureLevel::normal};
        h.state->sampler->tick();
    }
    AppStateAdapter adapter(*h.state, h.scheduler);
    QtWidgetWindowing windowing;
    FloatingWidgetController controller(windowing, h.defaults, h.scheduler);
    windowing.attach(adapter, controller);
    for (const auto& [placement, shot] :
         {std::pair{WidgetPlacement::floating, "widget-card-emoji"}, std::pair{WidgetPlacement::dockedBottom, "widget-docked-emoji"}}) {
        QWidget* panel = showWidget(controller, h.defaults, placement);
        ASSERT_NE(panel, nullptr) << shot;
        const char* page = placement == WidgetPlacement::floating ? "widgetCard" : "widgetBar";
        auto* label = panel->findChild<QWidget*>(page)->findChild<ElidedLabel*>("widgetAppName");
        ASSERT_NE(label, nullptr) << shot;
        // Cut just after an emoji: the picture shows what it is kept for.
        const QStringList lines = label->lines(label->width());
        ASSERT_EQ(lines.size(), 1) << shot;
        const qsizetype dots = lines[0].indexOf(QChar(0x2026));
        ASSERT_GE(dots, 2) << shot;
        EXPECT_TRUE(lines[0][dots - 1].isLowSurrogate()) << shot;
        EXPECT_TRUE(panel->grab().save(artifact(shot))) << shot;
        hideWidget(controller);
    }
}

}  // namespace
}  // namespace velmora
