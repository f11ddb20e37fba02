#include <gtest/gtest.h>

#include <QCoreApplication>

#if defined(__SANITIZE_ADDRESS__)
// Freed blocks stay resident in AddressSanitizer's quarantine, 256 MiB of them by default; the
// flood test measures resident memory, so the quarantine is kept small here.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=16"; }
#endif

// The bridge's reports reach the main thread through the Qt event loop.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
