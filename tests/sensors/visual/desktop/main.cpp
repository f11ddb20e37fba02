#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

// Screen grabs and painting need an application; without a display it paints offscreen.
int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
