// Opens the floating widget over seeded fakes on the real desktop and saves a picture of it in
// each state: widget_tour <folder>. Then leaves it open as a regular card, prints "ready" and
// takes commands from its input, answering each with one line:
//   "panel"    -> the panel's X window id in decimal
//   "main"     -> the main window's X window id (a plain window standing in for it)
//   "minimise" -> minimises that window, answers "minimised"
//   "state"    -> "visible <0|1> wasVisible <0|1>"
// It quits when its input closes.
#include "tests/app/AppHarness.h"
#include "app/qt/AppStateAdapter.h"
#include "ui/style/Theme.h"
#include "ui/widget/FloatingWidgetController.h"
#include "ui/widget/FloatingWidgetView.h"
#include "ui/widget/QtWidgetPanel.h"
#include "ui/widget/WidgetSettingsPopover.h"

#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QSocketNotifier>
#include <QThread>

#include <iostream>
#include <string>
#include <unistd.h>

using namespace velmora;

namespace {

const ProcessIdentity firefox = appIdentity("family:firefox", "Firefox");

void settle() {
    for (int i = 0; i < 6; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(25);
    }
}

void sample(AppHarness& h, std::uint64_t browser, std::uint64_t available) {
    h.clock.advance(1);
    h.steady.now += 1;
    h.processes.processes = {{100, "/usr/lib/firefox/firefox", "firefox", 1, browser},
                             {200, "/usr/bin/gnome-text-editor", "gnome-text-edit", 1, 310 * MiB},
                             {999, "/usr/bin/velmora", "velmora", 1, 70 * MiB}};
    h.memory.reading = {16ull << 30, available, 0, 96 * MiB, MemoryPressureLevel::normal};
    h.state->sampler->tick();
}

// Fifteen minutes of the browser in front, growing in two steps and giving some back.
void seed(AppHarness& h) {
    h.desktop.apps = {{100, "firefox", "Firefox", false, true}, {200, "org.gnome.TextEditor", "Text Editor", false, false}};
    for (int i = 0; i < 900; ++i)
        sample(h, (1200 + (i > 300 ? 380 : 0) - (i > 700 ? 150 : 0) + (i % 7) * 3) * MiB,
               (7000 - (i > 300 ? 420 : 0) + (i > 700 ? 160 : 0) + (i % 5) * 6) * MiB);
    const auto story = [&](double ago, TimelineEventKind kind, std::int64_t delta, const char* title) {
        TimelineEvent e;
        e.id = Uuid::random();
        e.timestamp = h.clock.now() - ago;
        e.kind = kind;
        e.title = title;
        e.relatedApp = firefox;
        e.immediate = ImpactWindow{delta, 10, {}, {}};
        h.state->timeline->add(e);
    };
    story(600, TimelineEventKind::largeDelta, 380 * std::int64_t(MiB), "Firefox grew by 380 MB");
    story(200, TimelineEventKind::memoryReleased, -150 * std::int64_t(MiB), "Firefox gave back 150 MB");
}

QWidget* panelWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "VelmoraFloatingWidget" && w->isVisible()) return w;
    return nullptr;
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
    QtWidgetWindowing windowing;
    FloatingWidgetController controller(windowing, h.defaults, h.scheduler);
    windowing.attach(adapter, controller);

    // A light backdrop under the top-right corner, so the pictures show the panel's edge on
    // a light and on a dark desktop at once.
    QWidget backdrop(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint);
    backdrop.setAttribute(Qt::WA_ShowWithoutActivating);
    backdrop.setStyleSheet("background: rgb(225, 228, 232);");
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    backdrop.setGeometry(area.x() + area.width() / 2 + 330, area.y(), area.width() / 2, area.height());
    backdrop.show();

    const auto shoot = [&](const QString& name, const FloatingWidgetPreferences& prefs) {
        if (controller.hasPanel()) controller.hide();
        prefs.save(h.defaults);
        controller.show();
        h.state->announceChange();
        settle();
        QWidget* panel = panelWindow();
        if (!panel) {
            std::cerr << "no panel for " << name.toStdString() << "\n";
            return;
        }
        const QRect r = panel->frameGeometry().adjusted(-14, -14, 14, 14);
        const QPixmap picture = panel->screen()->grabWindow(0, r.x(), r.y(), r.width(), r.height());
        if (!picture.save(folder + "/widget-" + name + ".png")) std::cerr << "cannot save " << name.toStdString() << "\n";
    };
    shoot("regular", {});
    shoot("compact", {.isCompact = true});
    shoot("docked", {.placement = WidgetPlacement::dockedTop, .autoCollapseDock = false});
    shoot("docked-strip", {.placement = WidgetPlacement::dockedTop});
    shoot("no-app", {.pinnedAppKey = "org.example.Gone"});
    sample(h, 1500 * MiB, 600 * MiB);  // under 5 % free
    shoot("critical", {});
    shoot("docked-critical", {.placement = WidgetPlacement::dockedBottom, .showSystemMemory = false});
    // The settings pop-up over the regular card.
    sample(h, 1500 * MiB, 7000 * MiB);
    shoot("settings", {});
    if (QWidget* panel = panelWindow()) {
        auto* view = panel->findChild<FloatingWidgetView*>();
        view->openSettings();
        settle();
        const QRect r = panel->frameGeometry().united(static_cast<QWidget*>(view->settingsPopover())->frameGeometry())
                            .adjusted(-14, -14, 14, 14);
        panel->screen()->grabWindow(0, r.x(), r.y(), r.width(), r.height()).save(folder + "/widget-settings.png");
        static_cast<QWidget*>(view->settingsPopover())->hide();
    }

    // Left open for the desktop test as a card that was opened from closed.
    controller.hide();
    FloatingWidgetPreferences{}.save(h.defaults);
    controller.show();
    settle();
    QWidget main;
    main.setWindowTitle("Velmora main");
    main.resize(400, 300);
    main.move(60, 80);
    main.show();
    settle();
    std::cout << "ready" << std::endl;

    // Read straight from the descriptor: a buffered stream would hide lines that came together.
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    std::string pending;
    const auto answer = [&](const std::string& line) {
        if (line == "panel") {
            QWidget* panel = panelWindow();
            std::cout << (panel ? panel->winId() : 0) << std::endl;
        } else if (line == "main") {
            std::cout << main.winId() << std::endl;
        } else if (line == "minimise") {
            main.showMinimized();
            settle();
            std::cout << "minimised" << std::endl;
        } else if (line == "state") {
            settle();
            std::cout << "visible " << controller.hasPanel() << " wasVisible "
                      << FloatingWidgetPreferences::load(h.defaults).wasVisible << std::endl;
        } else {
            std::cout << "?" << std::endl;
        }
    };
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char chunk[256];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0) return QCoreApplication::quit();
        pending.append(chunk, static_cast<std::size_t>(n));
        for (auto at = pending.find('\n'); at != std::string::npos; at = pending.find('\n')) {
            const std::string line = pending.substr(0, at);
            pending.erase(0, at + 1);
            answer(line);
        }
    });
    return app.exec();
}
