// Shows the main window's Stories page over seeded stories on the real desktop and saves a picture
// at two sizes, with a growth story selected; then at the small size with nothing selected while
// the extension banner shows, with a search nothing matches, and over an empty store:
// stories_shots <folder>.
#include "tests/app/AppHarness.h"
#include "app/qt/AppStateAdapter.h"
#include "ui/main/MainWindow.h"
#include "ui/style/Theme.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QThread>

#include <iostream>

using namespace velmora;

namespace {

void settle() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
        QCoreApplication::processEvents();
    }
}

ImpactWindow window(std::int64_t delta, std::uint64_t end, std::optional<std::uint64_t> peak = std::nullopt) {
    return ImpactWindow{delta, 60, peak, end};
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
    AppState& s = *h.state;
    for (int i = 0; i < 60; ++i) {
        h.clock.advance(1);
        h.steady.now += 1;
        h.memory.reading = {16ull << 30, (6000 - i * 4) * MiB, 0, 96 * MiB, MemoryPressureLevel::normal};
        s.sampler->tick();
    }
    SystemMemorySnapshot normal;
    normal.totalPhysicalBytes = 16ull << 30;
    normal.availableBytes = 5800 * MiB;
    SystemMemorySnapshot tight = normal;
    tight.pressure = MemoryPressureLevel::warning;
    tight.availableBytes = 900 * MiB;

    const auto add = [&](double ago, TimelineEventKind kind, std::optional<ProcessIdentity> app, const char* title,
                         const char* explanation, std::optional<ImpactWindow> settled, SystemMemorySnapshot context,
                         SensorSource source) {
        TimelineEvent e;
        e.id = Uuid::random();
        e.timestamp = h.clock.now() - ago;
        e.kind = kind;
        e.title = title;
        e.explanation = explanation;
        e.relatedApp = std::move(app);
        e.settled = settled;
        e.systemContext = context;
        e.primarySource = source;
        e.baselineFootprintBytes = 900 * MiB;
        e.supportingSources = {SensorSource::memorySampler, SensorSource::significantChange};
        s.timeline->add(e);
        return e.id;
    };
    add(3000, TimelineEventKind::sustainedGrowth, appIdentity("code", "Code"), "Code kept growing",
        "You were editing notes.md", window(40 * std::int64_t(MiB), 1400 * MiB), normal, SensorSource::sustainedGrowth);
    add(2400, TimelineEventKind::measureSession, appIdentity("org.gnome.TextEditor", "Text Editor"),
        "Opening a file in Text Editor", "You opened report.odt", window(12 * std::int64_t(MiB), 330 * MiB), normal,
        SensorSource::measureMode);
    add(1500, TimelineEventKind::pressureChanged, ProcessIdentity::system(), "Memory is tight", "", std::nullopt, tight,
        SensorSource::systemPressure);
    add(700, TimelineEventKind::memoryReleased, appIdentity("firefox", "Firefox"), "Firefox freed memory",
        "You closed a page in Firefox", window(-420 * std::int64_t(MiB), 1100 * MiB), normal, SensorSource::windowList);
    const auto growthID =
        add(120, TimelineEventKind::largeDelta, appIdentity("gimp", "GIMP"), "GIMP used more memory",
            "You opened holiday-panorama.xcf in GIMP", window(610 * std::int64_t(MiB), 2900 * MiB, 2300 * MiB), normal,
            SensorSource::accessibility);

    AppStateAdapter adapter(*h.state, h.scheduler);
    MainWindow main(adapter);
    main.show();
    s.selectedSidebar = SidebarItem::timeline;
    s.selectedEventID = growthID;
    const auto shoot = [&](QSize size, const QString& name) {
        main.resize(size);
        s.announceChange();
        settle();
        const QString file = QString("%1/%2-%3x%4.png").arg(folder, name).arg(size.width()).arg(size.height());
        if (main.grab().save(file)) return true;
        std::cerr << "cannot save " << file.toStdString() << "\n";
        return false;
    };
    if (!shoot(QSize(900, 560), "stories") || !shoot(QSize(1400, 900), "stories")) return 1;
    s.selectedEventID.reset();
    s.lowConfidenceBrowserStoryCount = 2;
    if (!shoot(QSize(900, 560), "stories-unselected")) return 1;

    // A search nothing matches, then a store with no stories at all: the list's two placeholders.
    s.lowConfidenceBrowserStoryCount = 0;
    auto* search = main.findChild<QLineEdit*>("storySearch");
    if (!search) return 1;
    search->setText(QStringLiteral("nothing like this"));
    emit search->textEdited(search->text());
    if (!shoot(QSize(900, 560), "stories-filtered")) return 1;
    AppHarness empty;
    empty.make();
    AppStateAdapter emptyAdapter(*empty.state, empty.scheduler);
    MainWindow emptyWindow(emptyAdapter);
    emptyWindow.resize(900, 560);
    emptyWindow.show();
    empty.state->selectedSidebar = SidebarItem::timeline;
    empty.state->announceChange();
    settle();
    const QString file = QString("%1/stories-empty-900x560.png").arg(folder);
    if (emptyWindow.grab().save(file)) return 0;
    std::cerr << "cannot save " << file.toStdString() << "\n";
    return 1;
}
