#include <gtest/gtest.h>

#include <QCoreApplication>

// The bridge's reports reach the main thread through the Qt event loop.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
