// A plain top-level window for desktop tests. Its title is the first argument; each line read
// from standard input becomes the new title. It quits when its input closes, so it never
// outlives the test that started it.
#include <QApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QWidget>
#include <unistd.h>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QString::fromUtf8(argc > 1 ? argv[1] : "Velmora titled window"));
    window.resize(320, 200);
    window.show();

    QFile input;
    input.open(STDIN_FILENO, QIODevice::ReadOnly);
    QSocketNotifier notifier(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        const QByteArray line = input.readLine();
        if (line.isEmpty()) application.quit();
        else window.setWindowTitle(QString::fromUtf8(line).trimmed());
    });
    return application.exec();
}
