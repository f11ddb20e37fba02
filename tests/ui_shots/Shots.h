#pragma once
// Where the pictures people look at are kept, and a settle before each is taken.
#include <QApplication>
#include <QDir>
#include <QString>
#include <QTest>

namespace velmora {

// build/artifacts/<name>.png, its folder made.
inline QString artifactFile(const QString& name) {
    QDir dir(VELMORA_TEST_PROGRAMS);  // <build>/tests/programs
    dir.cdUp();
    dir.cdUp();
    dir.mkpath("artifacts");
    return dir.filePath("artifacts/" + name + ".png");
}

// Lets layouts, paints and the window manager catch up before a grab.
inline void settle() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    QTest::qWait(50);
}

}  // namespace velmora
