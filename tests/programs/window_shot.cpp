// Saves a picture of one X window: window_shot <window id> <file.png>. Exits 1 when it cannot.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    if (argc != 3) return 2;
    bool ok = false;
    const WId window = QString(argv[1]).toULongLong(&ok, 0);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!ok || !screen) return 1;
    const QPixmap picture = screen->grabWindow(window);
    return !picture.isNull() && picture.save(QString::fromLocal8Bit(argv[2]), "PNG") ? 0 : 1;
}
