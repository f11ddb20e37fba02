// An accessible window for desktop tests: a titled window with an address field, three tabs and a
// dialog. Each line on standard input is a command: "dialog" opens the dialog, "close" closes it,
// any other line becomes the window's title. It quits when its input closes, so it never outlives
// the test that started it.
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSocketNotifier>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWidget>
#include <unistd.h>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle("Velmora accessible form");
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLineEdit("example.org/path"));
    auto* tabs = new QTabWidget;
    for (const char* name : {"First", "Second", "Third"}) tabs->addTab(new QLabel(name), name);
    layout->addWidget(tabs);
    window.resize(480, 320);
    window.show();

    QDialog dialog(&window);
    dialog.setWindowTitle("Velmora dialog");
    (new QVBoxLayout(&dialog))->addWidget(new QLabel("A dialog"));

    // Unbuffered, so that each read takes one line and the next one wakes the notifier again.
    QFile input;
    input.open(STDIN_FILENO, QIODevice::ReadOnly | QIODevice::Unbuffered);
    QSocketNotifier notifier(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        const QByteArray line = input.readLine();
        const QString command = QString::fromUtf8(line).trimmed();
        if (line.isEmpty()) application.quit();
        else if (command == "dialog") dialog.open();
        else if (command == "close") dialog.reject();
        else window.setWindowTitle(command);
    });
    return application.exec();
}
