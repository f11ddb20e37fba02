#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/linux/LinuxMemoryParsing.h"
#include "platform/linux/LinuxMemorySource.h"
#include "tests/fakes/TempDir.h"

using namespace velmora;
using namespace velmora::linuxmem;
using Level = MemoryPressureLevel;

namespace {

const char* const meminfoText =
    "MemTotal:       16000000 kB\n"
    "MemFree:         1000000 kB\n"
    "MemAvailable:    9000000 kB\n"
    "Active(anon):     500000 kB\n"
    "Active(file):    2000000 kB\n"
    "Inactive(file):  3000000 kB\n"
    "Inactive(anon):  7000000 kB\n"
    "SwapTotal:       4000000 kB\n"
    "SwapFree:        3000000 kB\n"
    "Zswap:             20000 kB\n";

void writeFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

std::string meminfoWith(std::uint64_t totalKb, std::uint64_t freeKb) {
    return "MemTotal: " + std::to_string(totalKb) + " kB\nMemFree: " + std::to_string(freeKb) +
           " kB\nActive(file): 0 kB\nInactive(file): 0 kB\nSwapTotal: 0 kB\nSwapFree: 0 kB\n";
}

}  // namespace

TEST(LinuxMemoryParsingTest, MeminfoGivesTotalAvailableSwapAndZswap) {
    const auto m = parseMeminfo(meminfoText);
    EXPECT_EQ(m.memTotal, 16000000ull * 1024);
    // Free plus clean file pages; neither MemAvailable nor anonymous pages count.
    EXPECT_EQ(availableBytes(m), 6000000ull * 1024);
    EXPECT_EQ(swapUsedBytes(m), 1000000ull * 1024);
    EXPECT_EQ(m.zswap, 20000ull * 1024);

    Meminfo inconsistent = m;
    inconsistent.swapFree = *m.swapTotal + 4096;
    EXPECT_EQ(swapUsedBytes(inconsistent), 0u);

    Meminfo partial = m;
    partial.inactiveFile.reset();
    EXPECT_EQ(availableBytes(partial), std::nullopt);
    partial.swapFree.reset();
    EXPECT_EQ(swapUsedBytes(partial), std::nullopt);
    EXPECT_EQ(parseMeminfo("garbage\n").memTotal, std::nullopt);
}

TEST(LinuxMemoryParsingTest, ZramMemoryUsedIsTheThirdField) {
    EXPECT_EQ(parseZramMemoryUsed("  4096000  1024000  1200000        0  1300000      12       0        0        0\n"),
              1200000u);
    for (const char* bad : {"", "1 2", "1 2 x", "1 2 -3", "1 2 3x"}) EXPECT_EQ(parseZramMemoryUsed(bad), std::nullopt) << bad;
}

TEST(LinuxMemoryParsingTest, PsiAverages) {
    EXPECT_EQ(parsePsi("some avg10=12.50 avg60=3.00 avg300=1.00 total=123\nfull avg10=4.25 avg60=0.00 avg300=0.00 total=9\n"),
              (PsiAverages{12.5, 4.25}));
    EXPECT_EQ(parsePsi("some avg10=1.00 avg60=0.00 avg300=0.00 total=1\n"), (PsiAverages{1.0, 0.0}));
    for (const char* bad : {"", "full avg10=1.00\n", "some avg60=1.00\n", "some avg10=abc\n", "some avg10=140.0\n"})
        EXPECT_EQ(parsePsi(bad), std::nullopt) << bad;
}

TEST(PressureClassifierTest, LevelsFollowThresholdsWithHysteresis) {
    // Each step feeds one reading to the same classifier and expects the level after it.
    struct Step {
        std::optional<PsiAverages> psi;
        double availablePercent;  // < 0: unreadable
        Level expected;
    };
    const Step steps[] = {
        {PsiAverages{0, 0}, 50, Level::normal},
        {PsiAverages{9.9, 0}, 50, Level::normal},
        {PsiAverages{10, 0}, 50, Level::warning},     // enters at 10 %
        {PsiAverages{6, 0}, 50, Level::warning},      // stays above 5 %
        {PsiAverages{4.9, 0}, 50, Level::normal},     // leaves below 5 %
        {PsiAverages{6, 0}, 50, Level::normal},       // 6 % does not enter again
        {PsiAverages{0, 0}, 9.9, Level::warning},     // available floor
        {PsiAverages{0, 0}, 14, Level::warning},      // held until 15 %
        {PsiAverages{0, 0}, 15, Level::normal},
        {PsiAverages{30, 12}, 50, Level::critical},   // everything stalled
        {PsiAverages{30, 6}, 50, Level::critical},    // held above 5 %
        {PsiAverages{30, 4}, 50, Level::warning},     // steps down, some still high
        {PsiAverages{3, 0}, 4.9, Level::critical},    // critical floor
        {PsiAverages{3, 0}, 7.9, Level::critical},
        {PsiAverages{3, 0}, 8, Level::warning},       // 8 % leaves critical, still under 15 %
        {PsiAverages{3, 0}, 20, Level::normal},
        {std::nullopt, 9, Level::warning},            // no stall information: floors alone
        {std::nullopt, 30, Level::normal},
        {PsiAverages{11, 0}, -1, Level::warning},     // no memory figures: stalls alone
    };
    PressureClassifier classifier;
    int index = 0;
    for (const auto& s : steps) {
        PressureInputs in;
        in.psi = s.psi;
        if (s.availablePercent >= 0) {
            in.totalBytes = 100000000;
            in.availableBytes = static_cast<std::uint64_t>(s.availablePercent * 1000000);
        }
        EXPECT_EQ(classifier.update(in), s.expected) << "step " << index;
        ++index;
    }
}

TEST(PressureClassifierTest, NothingReadableKeepsTheLevel) {
    PressureClassifier classifier;
    ASSERT_EQ(classifier.update({PsiAverages{50, 50}, std::nullopt, std::nullopt}), Level::critical);
    EXPECT_EQ(classifier.update({std::nullopt, std::nullopt, std::nullopt}), std::nullopt);
    // A total of zero cannot give a share.
    EXPECT_EQ(classifier.update({std::nullopt, 5, 0}), std::nullopt);
    EXPECT_EQ(classifier.level(), Level::critical);
}

TEST(LinuxMemorySourceTest, ReadsFilesAndAddsZramToZswap) {
    TempDir dir;
    writeFile(dir.file("meminfo"), meminfoText);
    writeFile(dir.file("pressure"), "some avg10=11.00 avg60=0 avg300=0 total=1\nfull avg10=0.00 avg60=0 avg300=0 total=0\n");
    writeFile(dir.file("block/zram0/mm_stat"), "100 50 4096 0 0 0 0 0 0\n");
    writeFile(dir.file("block/zram1/mm_stat"), "100 50 8192 0 0 0 0 0 0\n");
    writeFile(dir.file("block/sda/stat"), "1 2 3\n");
    LinuxMemorySource source({dir.file("meminfo"), dir.file("pressure"), dir.file("block")});
    const auto r = source.read();
    EXPECT_EQ(r.totalPhysicalBytes, 16000000ull * 1024);
    EXPECT_EQ(r.availableBytes, 6000000ull * 1024);
    EXPECT_EQ(r.swapUsedBytes, 1000000ull * 1024);
    EXPECT_EQ(r.compressedBytes, 20000ull * 1024 + 4096 + 8192);
    EXPECT_EQ(r.pressure, Level::warning);

    // Kept files are read again from the start, so a changed file shows through.
    writeFile(dir.file("pressure"), "some avg10=0.00 avg60=0 avg300=0 total=1\nfull avg10=0.00 avg60=0 avg300=0 total=0\n");
    writeFile(dir.file("meminfo"), meminfoWith(1000000, 40000));
    const auto again = source.read();
    EXPECT_EQ(again.availableBytes, 40000ull * 1024);
    EXPECT_EQ(again.pressure, Level::critical);
}

TEST(LinuxMemorySourceTest, UnreadableFilesLeaveFieldsAbsent) {
    TempDir dir;
    LinuxMemorySource nothing({dir.file("none"), dir.file("none"), dir.file("none")});
    const auto r = nothing.read();
    EXPECT_FALSE(r.totalPhysicalBytes);
    EXPECT_FALSE(r.availableBytes);
    EXPECT_FALSE(r.swapUsedBytes);
    EXPECT_FALSE(r.compressedBytes);
    EXPECT_FALSE(r.pressure);

    // Without stall information the available-memory rule alone judges.
    writeFile(dir.file("meminfo"), meminfoWith(1000000, 90000));
    LinuxMemorySource noPsi({dir.file("meminfo"), dir.file("none"), dir.file("none")});
    const auto floors = noPsi.read();
    EXPECT_EQ(floors.pressure, Level::warning);
    EXPECT_EQ(floors.compressedBytes, 0u);
}

TEST(LinuxMemorySourceTest, WatcherReportsItsLevelAndStopsWithTheSource) {
    TempDir dir;
    writeFile(dir.file("meminfo"), meminfoWith(1000000, 10000));
    LinuxMemorySource source({dir.file("meminfo"), dir.file("none"), dir.file("none")});
    EXPECT_EQ(source.lastReportedPressure(), Level::normal);
    source.startPressureWatcher();
    source.startPressureWatcher();
    // The watcher judges once as soon as it starts.
    for (int i = 0; i < 5000 && source.lastReportedPressure() != Level::critical; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(source.lastReportedPressure(), Level::critical);
}

TEST(LinuxMemorySourceTest, RealKernelFiguresAreConsistent) {
    LinuxMemorySource source;
    const auto r = source.read();
    ASSERT_TRUE(r.totalPhysicalBytes);
    ASSERT_TRUE(r.availableBytes);
    EXPECT_GT(*r.totalPhysicalBytes, 64ull << 20);
    EXPECT_LE(*r.availableBytes, *r.totalPhysicalBytes);
    EXPECT_TRUE(r.swapUsedBytes);
    EXPECT_TRUE(r.compressedBytes);
    EXPECT_TRUE(r.pressure);
}
