#pragma once
// Where the pictures people look at are kept, a settle before each is taken, and the window and
// the widget those pictures show.
// The engine headers come before Qt's: they use words Qt defines as macros (signals).
#include "tests/app/AppHarness.h"
#include "ui/widget/FloatingWidgetController.h"
#include "app/qt/AppStateAdapter.h"
#include "ui/main/MainWindow.h"

#include <QApplication>
#include <QDir>
#include <QString>
#include <QTest>

namespace velmora {

// build/artifacts/<name>.png, its folder made.
inline QString artifactFile(const QString& name) {
    QDir dir(VELMORA_TEST_PROGRAMS);  // <build>/tests/programs
    dir.cdUp();
    dir.cdUp();
    dir.mkpath("artifacts");
    return dir.filePath("artifacts/" + name + ".png");
}

// Lets layouts, paints and the window manager catch up before a grab.
inline void settle() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    QTest::qWait(50);
}

// The main window over `h`'s state at the smallest size, 900x560, shown.
struct ShotWindow {
    explicit ShotWindow(AppHarness& h) : h(h), adapter(*h.state, h.scheduler), window(adapter) {
        window.resize(900, 560);
        window.show();
    }
    // Turns to `item` and lets it settle.
    void turnTo(SidebarItem item) {
        h.state->selectedSidebar = item;
        h.state->announceChange();
        settle();
    }
    bool save(const QString& file) { return window.grab().save(file); }

    AppHarness& h;
    AppStateAdapter adapter;
    MainWindow window;
};

// Shows the widget at `placement`, its dock never collapsing, and once settled its panel; null when
// none shows.
inline QWidget* showWidget(FloatingWidgetController& controller, InMemoryDefaults& defaults, WidgetPlacement placement) {
    FloatingWidgetPreferences prefs;
    prefs.placement = placement;
    prefs.autoCollapseDock = false;
    prefs.save(defaults);
    controller.show();
    settle();
    QWidget* panel = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "VelmoraFloatingWidget" && w->isVisible()) panel = w;
    return panel;
}

// Hides the widget; its panel goes at once, before the state it shows.
inline void hideWidget(FloatingWidgetController& controller) {
    controller.hide();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace velmora
