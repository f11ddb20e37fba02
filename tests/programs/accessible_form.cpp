// An accessible window for desktop tests: a titled window with an address field, three tabs, and
// a dialog it opens on command. Commands come one per line on standard input ("dialog", "close");
// the program quits when its input closes, so it never outlives the test that started it.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QSocketNotifier>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWidget>
#include <unistd.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle("Velmora accessible form");
    auto* layout = new QVBoxLayout(&window);
    auto* address = new QLineEdit("example.org/path");
    layout->addWidget(address);
    auto* tabs = new QTabWidget;
    for (const char* name : {"First", "Second", "Third"}) tabs->addTab(new QLabel(name), name);
    layout->addWidget(tabs);
    window.resize(480, 320);
    window.show();

    QDialog dialog(&window);
    dialog.setWindowTitle("Velmora dialog");
    (new QVBoxLayout(&dialog))->addWidget(new QLabel("A dialog"));

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    std::string pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            application.quit();
            return;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
            const std::string command = pending.substr(0, end);
            if (command == "dialog") dialog.open();
            if (command == "close") dialog.reject();
        }
    });
    return application.exec();
}
