// An editor window that grows as it opens a document, for the end-to-end test. It starts titled
// "Editor"; the document's title, the first argument, becomes its title once the document has loaded.
// Commands, one a line on standard input: "grow N" maps and touches N MiB in six steps about 0.4 s
// apart, then shows the document's title and answers "grown"; "free" gives it all back and answers
// "freed". It quits when its input closes.
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include <QApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

namespace {

struct Block {
    void* data;
    std::size_t size;
};

void answer(const char* text) {
    [[maybe_unused]] const auto n = ::write(STDOUT_FILENO, text, std::strlen(text));
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    const QString document = QString::fromUtf8(argc > 1 ? argv[1] : "Document \u2014 Editor");
    window.setWindowTitle("Editor");
    window.resize(480, 320);
    window.show();

    std::vector<Block> blocks;
    std::size_t stepBytes = 0;
    int stepsLeft = 0;
    QTimer steps;
    steps.setInterval(400);
    QObject::connect(&steps, &QTimer::timeout, [&] {
        void* data = ::mmap(nullptr, stepBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (data == MAP_FAILED) {
            steps.stop();
            return answer("failed\n");
        }
        std::memset(data, 0x5a, stepBytes);
        blocks.push_back({data, stepBytes});
        if (--stepsLeft == 0) {
            steps.stop();
            window.setWindowTitle(document);
            window.raise();
            window.activateWindow();
            answer("grown\n");
        }
    });

    QFile input;
    input.open(STDIN_FILENO, QIODevice::ReadOnly);
    QSocketNotifier notifier(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        const QByteArray line = input.readLine().trimmed();
        if (line.isEmpty()) {
            application.quit();
        } else if (line.startsWith("grow ")) {
            stepBytes = (line.mid(5).toULongLong() << 20) / 6;
            stepsLeft = 6;
            steps.start();
        } else if (line == "free") {
            for (const auto& b : blocks) ::munmap(b.data, b.size);
            blocks.clear();
            answer("freed\n");
        }
    });
    return application.exec();
}
