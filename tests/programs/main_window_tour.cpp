// Shows the main window over seeded fakes on the real desktop and saves a picture of each page
// state at two sizes: main_window_tour <folder>. Then prints where the probed pixels lie, "ready",
// and takes commands from its input ("show <page>" switches pages and answers "shown"); it quits
// when its input closes.
#include "tests/app/AppHarness.h"
#include "app/qt/AppStateAdapter.h"
#include "ui/main/MainWindow.h"
#include "ui/style/ConfidenceBadge.h"
#include "ui/style/Theme.h"

#include <QApplication>
#include <QDir>
#include <QSocketNotifier>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>

using namespace velmora;

namespace {

const ProcessIdentity firefox = appIdentity("firefox", "Firefox");
const ProcessIdentity editor = appIdentity("org.gnome.TextEditor", "Text Editor");

void settle() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
        QCoreApplication::processEvents();
    }
}

// Fifteen minutes of samples: the browser grows in two steps and gives some back.
void seed(AppHarness& h) {
    AppState& s = *h.state;
    h.desktop.apps = {{100, "firefox", "Firefox", false, false}, {200, "org.gnome.TextEditor", "Text Editor", false, true}};
    for (int i = 0; i < 900; ++i) {
        h.clock.advance(1);
        h.steady.now += 1;
        const std::uint64_t browser = (1200 + (i > 300 ? 380 : 0) - (i > 700 ? 150 : 0) + (i % 7) * 3) * MiB;
        const std::uint64_t available = (7000 - (i > 300 ? 420 : 0) + (i > 700 ? 160 : 0) + (i % 5) * 6) * MiB;
        h.processes.processes = {{100, "/usr/lib/firefox/firefox", "firefox", 1, browser},
                                 {200, "/usr/bin/gnome-text-editor", "gnome-text-edit", 1, 310 * MiB}};
        h.memory.reading = {16ull << 30, available, 0, 96 * MiB, MemoryPressureLevel::normal};
        s.sampler->tick();
    }
    const auto story = [&](double ago, TimelineEventKind kind, std::int64_t delta, const char* title) {
        TimelineEvent e;
        e.id = Uuid::random();
        e.timestamp = h.clock.now() - ago;
        e.kind = kind;
        e.title = title;
        e.explanation = "Seen by the memory sampler.";
        e.relatedApp = firefox;
        e.immediate = ImpactWindow{delta, 10, {}, {}};
        s.timeline->add(e);
    };
    story(600, TimelineEventKind::largeDelta, 380 * std::int64_t(MiB), "Firefox grew by 380 MB");
    story(200, TimelineEventKind::memoryReleased, -150 * std::int64_t(MiB), "Firefox gave back 150 MB");
    s.sensorLastApp = "Text Editor";
    s.sensorLastTitle = "notes-for-the-quarterly-review-with-a-very-long-file-name-that-does-not-break.txt";
}

// One sample of the measured app only, as the tick would hand it over.
void measureSample(AppHarness& h, double seconds, std::uint64_t bytes) {
    h.clock.advance(seconds);
    h.steady.now += seconds;
    h.state->handleTick({{.identity = editor, .footprintBytes = bytes, .isForeground = true, .timestamp = h.clock.now()}},
                        {.availableBytes = 6600 * MiB, .totalPhysicalBytes = 16ull << 30, .timestamp = h.clock.now()});
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) return 2;
    applyDarkFusion(app);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);

    AppHarness h;
    h.make();
    seed(h);
    AppStateAdapter adapter(*h.state, h.scheduler);
    MainWindow window(adapter);
    window.show();

    AppState& s = *h.state;
    auto& c = *s.measureController;
    const auto shoot = [&](const QString& name) {
        s.announceChange();
        settle();
        const QString file = QString("%1/main-%2-%3x%4.png").arg(folder, name).arg(window.width()).arg(window.height());
        if (!window.grab().save(file)) std::cerr << "cannot save " << file.toStdString() << "\n";
    };
    for (const QSize size : {QSize(900, 560), QSize(1400, 900)}) {
        window.resize(size);
        settle();
        if (c.session().phase != MeasurePhase::idle) c.cancel();
        s.selectedSidebar = SidebarItem::timeline;
        shoot("stories");
        s.selectedSidebar = SidebarItem::overview;
        shoot("overview");
        s.selectedSidebar = SidebarItem::measure;
        shoot("measure-idle");
        c.start();
        measureSample(h, 0.4, 310 * MiB);
        shoot("measure-baselining");
        for (int i = 0; i < 3; ++i) measureSample(h, 1, 310 * MiB);
        measureSample(h, 1, 520 * MiB);
        shoot("measure-recording");
        c.done();
        measureSample(h, 0.5, 450 * MiB);
        shoot("measure-settling");
        c.showResultNow();
        shoot("measure-report");
    }
    // Where the probes look: the badge in the 1400 × 900 report, the dot in the 900 × 560 pictures.
    const auto* badge = window.findChild<ConfidenceBadge*>("confidenceBadge");
    const QPoint b = badge->mapTo(&window, QPoint(0, 0));
    std::cout << "badge " << b.x() << " " << b.y() << " " << badge->width() << " " << badge->height() << "\n";
    window.resize(900, 560);
    settle();
    s.selectedSidebar = SidebarItem::timeline;
    s.announceChange();
    settle();
    // The Overview page has a strip of its own: the one probed is the Stories page's.
    const auto* strip = window.findChild<QWidget*>("timeline")->findChild<QWidget*>("pressureStrip");
    const QPoint dot = strip->mapTo(&window, QPoint(16 + 5, strip->height() / 2));
    std::cout << "dot " << dot.x() << " " << dot.y() << "\n";
    s.selectedSidebar = SidebarItem::measure;
    s.announceChange();
    settle();
    std::cout << "ready" << std::endl;

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        std::string line;
        if (!std::getline(std::cin, line)) return QCoreApplication::quit();
        if (line.rfind("show ", 0) == 0) {
            for (int i = 0; i < 8; ++i)
                if (rawValue(static_cast<SidebarItem>(i)) == line.substr(5)) s.selectedSidebar = static_cast<SidebarItem>(i);
            s.announceChange();
            settle();
            std::cout << "shown" << std::endl;
        }
    });
    return app.exec();
}
