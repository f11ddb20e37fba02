// The main window's Stories page on the real desktop, quitting another program through the
// detail's "Quit" button with the real window list and quitter: stories_quit <pid> <name>
// <namesake pid>. <namesake pid> runs the same program as <pid> without a window; one sample
// groups the two. One story is about that group, filed without a desktop-entry id, so Quit finds
// the processes by pid; another is about the namesake alone. It prints what it sees, one line
// each, and waits for "confirm" on its input before it confirms the quit:
//   toolbar <shown on Stories> <shown on Overview>
//   windowless <1 when the namesake's story offers Quit>
//   selected <1 when the clicked row is the selected story>
//   dialog <plain text> <Cancel is the default> <text>
//   cancelled <message or "none">
//   message <the quit's result>   gone <1 once the closed program's story no longer offers Quit>
//   toolbar-ran <page> <measurement started>
#include "tests/app/AppHarness.h"
#include "app/qt/AppStateAdapter.h"
#include "platform/linux/LinuxAppTerminator.h"
#include "platform/linux/X11DesktopSession.h"
#include "ui/main/MainWindow.h"
#include "ui/main/stories/StoryDetailPane.h"
#include "ui/style/Theme.h"

#include <sys/prctl.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QThread>
#include <QToolBar>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>

using namespace velmora;

namespace {

void settle(int turns = 5) {
    for (int i = 0; i < turns; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
        QCoreApplication::processEvents();
    }
}

// Waits up to five seconds for `ready`.
bool waitFor(const std::function<bool()>& ready) {
    for (int i = 0; i < 100; ++i) {
        if (ready()) return true;
        settle(1);
    }
    return ready();
}

// A press and release of the left button at `at`, as the window system would deliver them.
void click(QWidget* widget, QPoint at = {-1, -1}) {
    if (at == QPoint(-1, -1)) at = widget->rect().center();
    const QPointF global = widget->mapToGlobal(QPointF(at));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

void pressKey(QWidget* widget, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

void say(const std::string& line) { std::cout << line << std::endl; }

}  // namespace

int main(int argc, char** argv) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    QApplication app(argc, argv);
    if (argc != 4) return 2;
    applyDarkFusion(app);
    const std::int32_t target = std::stoi(argv[1]);
    const std::string name = argv[2];
    const std::int32_t namesake = std::stoi(argv[3]);

    AppHarness h;
    X11DesktopSession desktop;
    LinuxAppTerminator quitter(desktop, qEnvironmentVariable("DISPLAY").toStdString());
    h.state = std::make_unique<AppState>(AppDependencies{
        h.clock, h.steady, h.scheduler, h.defaults, h.files, h.paths, h.calendar, h.processes, desktop, h.memory,
        SelfProcess{static_cast<std::int32_t>(::getpid()), "velmora"}, h.sensors, h.widget, h.firstRun, h.notifier,
        h.saveDialog, h.loginItem, h.installer, quitter, h.accessibility, h.screenRecording, h.urls, std::nullopt,
        std::nullopt});
    AppState& s = *h.state;

    // One sample of the two processes of the same program.
    const std::string program = std::filesystem::read_symlink("/proc/" + std::to_string(target) + "/exe").string();
    const auto reading = [&](std::int32_t pid, std::uint64_t bytes) {
        ProcessReading r;
        r.pid = pid;
        r.executablePath = program;
        r.shortName = std::filesystem::path(program).filename().string().substr(0, 15);
        r.parentPid = static_cast<std::int32_t>(::getppid());
        r.footprintBytes = bytes;
        return r;
    };
    h.processes.processes = {reading(target, 300 * MiB), reading(namesake, 200 * MiB)};
    s.sampler->tick();
    std::optional<ProcessIdentity> group;
    for (const auto& a : s.sampler->appSnapshots())
        if (a.identity.pids == std::vector<std::int32_t>{std::min(target, namesake), std::max(target, namesake)})
            group = a.identity;
    if (!group) return say("not grouped"), 1;

    const auto storyOf = [&](ProcessIdentity app, double ago) {
        TimelineEvent story;
        story.id = Uuid::random();
        story.timestamp = h.clock.now() - ago;
        story.kind = TimelineEventKind::largeDelta;
        story.title = name + " used more memory";
        story.explanation = "You opened a big file in " + name;
        app.bundleID.reset();
        app.displayName = name;
        story.relatedApp = app;
        story.settled = ImpactWindow{300 * std::int64_t(MiB), 60, std::nullopt, 900 * MiB};
        story.systemContext = SystemMemorySnapshot{};
        story.systemContext->totalPhysicalBytes = 16ull << 30;
        story.systemContext->availableBytes = 6000 * MiB;
        s.timeline->add(story);
        return story;
    };
    const TimelineEvent windowless = storyOf(ProcessIdentity{"polite-window-script", {}, name, {namesake}}, 120);
    const TimelineEvent story = storyOf(*group, 60);

    AppStateAdapter adapter(s, h.scheduler);
    MainWindow window(adapter);
    window.resize(1000, 700);
    window.show();
    s.selectedSidebar = SidebarItem::timeline;
    s.announceChange();
    settle();

    auto* toolbar = window.findChild<QToolBar*>("toolbar");
    const auto inToolbar = [&] {
        for (QAction* a : toolbar->actions())
            if (a->objectName() == "checkOneActionToolbar") return 1;
        return 0;
    };
    const int onStories = inToolbar();
    s.selectedSidebar = SidebarItem::overview;
    s.announceChange();
    settle();
    const int onOverview = inToolbar();
    s.selectedSidebar = SidebarItem::timeline;
    s.announceChange();
    settle();
    say("toolbar " + std::to_string(onStories) + " " + std::to_string(onOverview));

    s.selectedEventID = windowless.id;
    s.announceChange();
    settle();
    say(std::string("windowless ") + (window.findChild<QPushButton*>("quitApp") ? "1" : "0"));

    // The user clicks the row of the windowed program's story, the newest.
    auto* list = window.findChild<QListView*>("storyList");
    if (!list || list->model()->rowCount() != 2) return say("no rows"), 1;
    click(list->viewport(), list->visualRect(list->model()->index(0, 0)).center());
    waitFor([&] { return window.findChild<QPushButton*>("quitApp") != nullptr; });
    say(std::string("selected ") + (s.selectedEventID == story.id ? "1" : "0"));

    auto* detail = window.findChild<StoryDetailPane*>();
    const auto ask = [&]() -> QMessageBox* {
        auto* quit = window.findChild<QPushButton*>("quitApp");
        if (!quit) return nullptr;
        click(quit);
        waitFor([&] { return detail->confirmation() && detail->confirmation()->isVisible(); });
        return detail->confirmation();
    };
    QMessageBox* box = ask();
    if (!box) return say("no dialog"), 1;
    say(std::string("dialog ") + (box->textFormat() == Qt::PlainText ? "1 " : "0 ") +
        (box->defaultButton() == box->button(QMessageBox::Cancel) ? "1 " : "0 ") + box->text().toStdString());
    // Return presses the default button.
    pressKey(box, Qt::Key_Return);
    waitFor([&] { return !detail->confirmation(); });
    say("cancelled " + s.lastQuitMessage.value_or("none"));

    std::string line;
    if (!std::getline(std::cin, line) || line != "confirm") return 1;
    box = ask();
    if (!box) return say("no dialog"), 1;
    click(box->findChild<QPushButton*>("confirmQuit"));
    say("message " + s.lastQuitMessage.value_or("none"));
    // Its window closed, the program has nothing Quit could ask any more.
    const bool gone = waitFor([&] {
        s.announceChange();  // as the next sample would
        return window.findChild<QPushButton*>("quitApp") == nullptr;
    });
    say(std::string("gone ") + (gone ? "1" : "0"));

    // The toolbar's button starts a measurement on its page.
    auto* button = window.findChild<QPushButton*>("toolbarCheckOneAction");
    if (!button) return say("no toolbar button"), 1;
    click(button);
    settle();
    say("toolbar-ran " + std::string(rawValue(s.selectedSidebar)) + " " +
        (s.measureController->session().phase != MeasurePhase::idle ? "1" : "0"));
    // Back on Stories, so the window is torn down with the page's button in its toolbar.
    s.selectedSidebar = SidebarItem::timeline;
    s.announceChange();
    settle();
    std::getline(std::cin, line);  // until the test is done looking
    return 0;
}
