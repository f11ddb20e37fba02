// Each page of the main window over seeded history, saved under build/artifacts/ at two sizes.
// The pictures are for people to look at; the checks here are only that nothing spills.
#include <gtest/gtest.h>

// The engine headers come before Qt's: they use words Qt defines as macros (signals).
#include "tests/ui/SeededHistory.h"
#include "app/qt/AppStateAdapter.h"
#include "ui/main/MainWindow.h"
#include "ui/main/Page.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QTest>

namespace velmora {
namespace {

QString artifactsDir() {
    QDir dir(VELMORA_TEST_PROGRAMS);  // <build>/tests/programs
    dir.cdUp();
    dir.cdUp();
    dir.mkpath("artifacts");
    return dir.filePath("artifacts");
}

void seedStats(AppHarness& h) {
    auto& stats = *h.state->dailyStats;
    const Date now = h.clock.now();
    const char* names[] = {"Firefox", "Visual Studio Code", "Slack", "Spotify", "Thunderbird"};
    for (int day = 0; day < 30; ++day) {
        const int stories = (day * 7) % 5;
        for (int s = 0; s < stories; ++s) {
            const std::string name = names[(day + s) % 5];
            stats.recordStory(name, name, static_cast<std::int64_t>((s + 1) * (day % 3 + 1)) * 60 * std::int64_t(MiB),
                              now - day * 86400.0);
        }
        if (day % 4 == 1)
            for (int t = 0; t < 60 * (day % 9); ++t) stats.recordPressureTick(MemoryPressureLevel::warning, now - day * 86400.0);
    }
}

TEST(PageShots, EveryPageAtTwoSizes) {
    ASSERT_TRUE(qEnvironmentVariableIsSet("VELMORA_DESKTOP")) << "run inside scripts/with-desktop.sh";
    AppHarness h;
    h.make();
    h.state->start();
    seedStats(h);
    seedHistory(h, sevenApps(), 1900);
    AppStateAdapter adapter(*h.state, h.scheduler);
    MainWindow window(adapter);
    window.show();
    const std::vector<std::pair<QString, QString>> pages{
        {"Overview", "overview"}, {"Live Chart", "live-chart"}, {"Who's Heavy", "whos-heavy"}, {"Trends", "trends"}};
    for (const QSize size : {QSize(900, 560), QSize(1400, 900)}) {
        window.resize(size);
        for (const auto& [title, file] : pages) {
            QAction* go = nullptr;
            for (QAction* menu : window.menuBar()->actions())
                for (QAction* a : menu->menu()->actions())
                    if (a->text() == title) go = a;
            ASSERT_NE(go, nullptr) << title.toStdString();
            go->trigger();
            for (int i = 0; i < 5; ++i) QApplication::processEvents();
            QTest::qWait(50);
            const QString path =
                QString("%1/page-%2-%3x%4.png").arg(artifactsDir(), file).arg(size.width()).arg(size.height());
            ASSERT_TRUE(window.grab().save(path)) << path.toStdString();
        }
    }
}

}  // namespace
}  // namespace velmora
