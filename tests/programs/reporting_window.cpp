// A window that reports, in the order they reach it, what the window manager does with it:
// "maximized" when it becomes maximized and "close" when a close request reaches it (it then exits
// with status 0). Both come by way of the window manager, so a test that asks for a maximize after
// something else can tell from the first line whether that something reached the window as a close
// request. A SIGTERM prints "sigterm" and exits with status 3.
#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include <QApplication>
#include <QCloseEvent>
#include <QWidget>
#include <QWindowStateChangeEvent>

namespace {

void onTerm(int) {
    static const char word[] = "sigterm\n";
    (void)!::write(STDOUT_FILENO, word, sizeof word - 1);
    ::_exit(3);
}

void say(const char* word) {
    std::printf("%s\n", word);
    std::fflush(stdout);
}

class Reporting final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::WindowStateChange &&
            !(static_cast<QWindowStateChangeEvent*>(event)->oldState() & Qt::WindowMaximized) &&
            (windowState() & Qt::WindowMaximized))
            say("maximized");
        QWidget::changeEvent(event);
    }
    void closeEvent(QCloseEvent* event) override {
        say("close");
        event->accept();
    }
};

}  // namespace

int main(int argc, char** argv) {
    // Ends with the test that started it, whatever happens to the test.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    std::signal(SIGTERM, onTerm);
    QApplication app(argc, argv);
    Reporting window;
    window.setWindowTitle(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("Reporting Window"));
    window.resize(320, 200);
    window.show();
    return app.exec();
}
