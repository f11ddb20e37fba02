// The Setup page on the real desktop, for assistive technology to drive: setup_switches. It shows
// the page with "Advanced" open and prints "ready"; each "state" line is answered, after a redraw,
// with "developer <stored 0|1> <box checked 0|1>".
#include "tests/app/AppHarness.h"
#include "app/qt/AppStateAdapter.h"
#include "tests/fakes/FakeDesktopOpeners.h"
#include "ui/main/setup/SetupPage.h"
#include "ui/style/Theme.h"

#include <sys/prctl.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QSocketNotifier>
#include <QTimer>
#include <QToolButton>

#include <csignal>
#include <iostream>
#include <string>

using namespace velmora;

int main(int argc, char** argv) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    QApplication app(argc, argv);
    applyDarkFusion(app);

    AppHarness h;
    AppState& state = h.make();
    FakeFileRevealer revealer;
    FakeBrowserLauncher launcher;
    SetupPage page(state);
    page.setOpeners(revealer, launcher);
    AppStateAdapter adapter(state, h.scheduler);
    QObject::connect(&adapter, &AppStateAdapter::changed, &page, &SetupPage::refresh);
    page.resize(700, 900);
    page.show();
    page.findChild<QToolButton*>("advanced")->click();
    page.refresh();

    auto* developer = page.findChild<QCheckBox*>("developerMode");
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        std::string line;
        if (!std::getline(std::cin, line)) return QCoreApplication::quit();
        if (line != "state") return;
        page.refresh();
        std::cout << "developer " << state.settings->developerModeEnabled() << " " << developer->isChecked()
                  << std::endl;
    });
    QTimer::singleShot(200, [] { std::cout << "ready" << std::endl; });
    return app.exec();
}
