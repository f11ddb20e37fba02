// A window in one flat colour (30, 180, 60) that a test lays over or beside another:
//   covering_window <normal|above|override> <x> <y> <width> <height> [title]
// "above" stays on top without taking the focus, as the floating widget does; "override" is
// placed by itself, unseen by the window manager. It says "ready" on stdout once it is shown
// where it was asked to be; a line "move <x> <y>" on stdin moves it, answered by "moved".
#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>

#include <QApplication>
#include <QPainter>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

class Painted final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), QColor(30, 180, 60)); }
};

}  // namespace

int main(int argc, char** argv) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    QApplication app(argc, argv);
    if (argc < 6) return 2;
    const QString kind = QString::fromLatin1(argv[1]);
    Qt::WindowFlags flags = Qt::Window;
    if (kind == "above")
        flags |= Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus;
    else if (kind == "override")
        flags |= Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint;
    else if (kind != "normal")
        return 2;
    Painted window(nullptr, flags);
    window.setWindowTitle(argc > 6 ? QString::fromUtf8(argv[6]) : QStringLiteral("Covering window"));
    if (kind != "normal") window.setAttribute(Qt::WA_ShowWithoutActivating);
    QPoint wanted(std::atoi(argv[2]), std::atoi(argv[3]));
    window.resize(std::atoi(argv[4]), std::atoi(argv[5]));
    window.move(wanted);
    window.show();

    // Reports once the window is shown at the wanted place, then waits for the next request.
    const char* answer = "ready";
    QTimer settle;
    QObject::connect(&settle, &QTimer::timeout, [&] {
        if (!answer || !window.windowHandle() || !window.windowHandle()->isExposed() || window.pos() != wanted) return;
        std::printf("%s\n", answer);
        std::fflush(stdout);
        answer = nullptr;
    });
    settle.start(50);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char line[128] = {};
        const ssize_t n = read(STDIN_FILENO, line, sizeof line - 1);
        if (n <= 0) {
            input.setEnabled(false);
            return;
        }
        int x = 0, y = 0;
        if (std::sscanf(line, "move %d %d", &x, &y) == 2) {
            wanted = QPoint(x, y);
            window.move(wanted);
            answer = "moved";
        }
    });
    return app.exec();
}
