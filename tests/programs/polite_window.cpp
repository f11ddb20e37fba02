// A window that says how it was asked to end: polite_window <title>. It prints "shown" once it is
// on screen, "maximized" when the window manager maximizes it, "close" when a close request reaches
// it (what the window manager sends for _NET_CLOSE_WINDOW) and then exits with status 0 by itself;
// both come by way of the window manager, in the order it handled them; a SIGTERM instead prints "sigterm"
// and exits with status 3, so a test can tell a polite quit from a signal. With "--no-window" it
// shows nothing: the same program name, without a window.
#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include <QApplication>
#include <QCloseEvent>
#include <QTimer>
#include <QWidget>
#include <QWindowStateChangeEvent>

namespace {

void onTerm(int) {
    static const char word[] = "sigterm\n";
    (void)!::write(STDOUT_FILENO, word, sizeof word - 1);
    ::_exit(3);
}

class Polite final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::WindowStateChange &&
            !(static_cast<QWindowStateChangeEvent*>(event)->oldState() & Qt::WindowMaximized) &&
            (windowState() & Qt::WindowMaximized)) {
            std::printf("maximized\n");
            std::fflush(stdout);
        }
        QWidget::changeEvent(event);
    }
    void closeEvent(QCloseEvent* event) override {
        std::printf("close\n");
        std::fflush(stdout);
        event->accept();
    }
};

}  // namespace

int main(int argc, char** argv) {
    // Ends with the test that started it, whatever happens to the test.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    std::signal(SIGTERM, onTerm);
    QApplication app(argc, argv);
    const QString title = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("Polite Window");
    Polite window;
    window.setWindowTitle(title);
    window.resize(320, 200);
    if (title != "--no-window") window.show();
    QTimer::singleShot(200, [] {
        std::printf("shown\n");
        std::fflush(stdout);
    });
    return app.exec();
}
