#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

// Painting and screen grabs need an application. Off the test desktop it paints offscreen, so a
// stray DISPLAY cannot stop the tests that need none.
int main(int argc, char** argv) {
    if (!std::getenv("VELMORA_DESKTOP")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
