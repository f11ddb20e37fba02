// A window in one flat colour (200, 30, 160), titled by its first argument, that says "ready"
// on stdout once shown. It dies with the test that started it.
#include <sys/prctl.h>

#include <csignal>
#include <cstdio>

#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <QWidget>

namespace {

class Painted final : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), QColor(200, 30, 160)); }
};

}  // namespace

int main(int argc, char** argv) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    QApplication app(argc, argv);
    Painted window;
    window.setWindowTitle(argc > 1 ? QString::fromUtf8(argv[1]) : QStringLiteral("Painted window"));
    window.resize(800, 400);
    window.show();
    window.raise();
    QTimer::singleShot(300, [] {
        std::puts("ready");
        std::fflush(stdout);
    });
    return app.exec();
}
