// Pictures of the pages on the private desktop (VELMORA_DESKTOP): the real platform plugin, fonts
// and style, not the offscreen one, in the application's own dark look.
#include <gtest/gtest.h>

#include <QApplication>

#include "ui/style/Theme.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    velmora::applyDarkFusion(app);  // the look Velmora itself starts with
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
