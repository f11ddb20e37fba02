// Pictures of the pages on the private desktop (VELMORA_DESKTOP): the real platform plugin, fonts
// and style, not the offscreen one.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
