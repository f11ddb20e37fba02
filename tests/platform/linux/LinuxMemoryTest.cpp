#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/linux/LinuxMemoryParsing.h"
#include "platform/linux/LinuxMemorySource.h"
#include "tests/fakes/TempDir.h"

using namespace velmora;
using namespace velmora::linuxmem;
using Level = MemoryPressureLevel;

namespace {

const char* const meminfoText =
    "MemTotal:       16000000 kB\nMemFree:         1000000 kB\nMemAvailable:    9000000 kB\n"
    "Active(anon):     500000 kB\nActive(file):    2000000 kB\nInactive(file):  3000000 kB\n"
    "Inactive(anon):  7000000 kB\nSwapTotal:       4000000 kB\nSwapFree:        3000000 kB\nZswap:  20000 kB\n";

void writeFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

std::string meminfoWith(std::uint64_t totalKb, std::uint64_t freeKb) {
    return "MemTotal: " + std::to_string(totalKb) + " kB\nMemFree: " + std::to_string(freeKb) +
           " kB\nActive(file): 0 kB\nInactive(file): 0 kB\nSwapTotal: 0 kB\nSwapFree: 0 kB\n";
}

}  // namespace

TEST(LinuxMemoryParsingTest, MeminfoZramAndPsi) {
    Meminfo odd = parseMeminfo(meminfoText);
    odd.swapFree = *odd.swapTotal + 4096;  // must not wrap around
    EXPECT_EQ(swapUsedBytes(odd), 0u);
    odd.inactiveFile.reset();
    odd.swapTotal.reset();
    EXPECT_EQ(availableBytes(odd), std::nullopt);
    EXPECT_EQ(swapUsedBytes(odd), std::nullopt);

    EXPECT_EQ(parseZramMemoryUsed("  4096000  1024000  1200000        0  1300000      12       0\n"), 1200000u);
    for (const char* bad : {"", "1 2", "1 2 x", "1 2 -3", "1 2 3x"}) EXPECT_EQ(parseZramMemoryUsed(bad), std::nullopt);

    EXPECT_EQ(parsePsi("some avg10=12.50 avg60=3.00 avg300=1.00 total=123\nfull avg10=4.25 avg60=0 avg300=0 total=9\n"),
              (PsiAverages{12.5, 4.25}));
    EXPECT_EQ(parsePsi("some avg10=1.00 avg60=0.00 avg300=0.00 total=1\n"), (PsiAverages{1.0, 0.0}));
    for (const char* bad : {"", "full avg10=1.00\n", "some avg60=1.00\n", "some avg10=abc\n", "some avg10=140.0\n",
                            "some avg10=nan\n"})
        EXPECT_EQ(parsePsi(bad), std::nullopt) << bad;
}

TEST(PressureClassifierTest, LevelsFollowThresholdsWithHysteresis) {
    // One classifier fed reading after reading; `available` in percent, below 0 when unreadable.
    const std::tuple<std::optional<PsiAverages>, double, Level> steps[] = {
        {PsiAverages{9.9, 0}, 50, Level::normal},   {PsiAverages{10, 0}, 50, Level::warning},  // enters at 10 %
        {PsiAverages{5, 0}, 50, Level::warning},    {PsiAverages{4.9, 0}, 50, Level::normal},  // leaves below 5 %
        {PsiAverages{6, 0}, 50, Level::normal},                                                 // no re-entry at 6 %
        {PsiAverages{0, 0}, 9.9, Level::warning},   {PsiAverages{0, 0}, 14, Level::warning},   // floor, held to 15 %
        {PsiAverages{0, 0}, 15, Level::normal},     {PsiAverages{30, 10}, 50, Level::critical},
        {PsiAverages{30, 5}, 50, Level::critical},  {PsiAverages{30, 4.9}, 50, Level::warning},
        {PsiAverages{30, 6}, 50, Level::warning},   {PsiAverages{3, 0}, 4.9, Level::critical},  // no re-entry at 6 %
        {PsiAverages{3, 0}, 7.9, Level::critical},  {PsiAverages{3, 0}, 8, Level::warning},
        {PsiAverages{3, 0}, 20, Level::normal},
        {std::nullopt, 9, Level::warning},          {std::nullopt, 30, Level::normal},  // no PSI: floors alone
        {PsiAverages{11, 0}, -1, Level::warning},                                        // stalls alone
    };
    PressureClassifier classifier;
    int index = 0;
    for (const auto& [psi, available, expected] : steps) {
        PressureInputs in;
        in.psi = psi;
        if (available >= 0) {
            in.totalBytes = 100000000;
            in.availableBytes = static_cast<std::uint64_t>(available * 1000000);
        }
        EXPECT_EQ(classifier.update(in), expected) << "step " << index++;
    }
    // Nothing readable (or a total of zero) keeps the level.
    EXPECT_EQ(classifier.update({PsiAverages{50, 50}, std::nullopt, std::nullopt}), Level::critical);
    EXPECT_EQ(classifier.update(PressureInputs()), std::nullopt);
    EXPECT_EQ(classifier.update({std::nullopt, 5, 0}), std::nullopt);
    EXPECT_EQ(classifier.level(), Level::critical);
}

TEST(LinuxMemorySourceTest, ReadsItsFilesAgainEachTimeAndLeavesUnreadableFieldsAbsent) {
    TempDir dir;
    writeFile(dir.file("meminfo"), meminfoText);
    writeFile(dir.file("pressure"), "some avg10=11.00 avg60=0 avg300=0 total=1\nfull avg10=0.00 total=0\n");
    writeFile(dir.file("block/zram0/mm_stat"), "100 50 4096 0 0 0 0 0 0\n");
    writeFile(dir.file("block/zram1/mm_stat"), "100 50 8192 0 0 0 0 0 0\n");
    writeFile(dir.file("block/sda/stat"), "1 2 3\n");
    LinuxMemorySource source({dir.file("meminfo"), dir.file("pressure"), dir.file("block"), dir.file("none")});
    const auto r = source.read();
    EXPECT_EQ(r.totalPhysicalBytes, 16000000ull * 1024);
    EXPECT_EQ(r.availableBytes, 6000000ull * 1024);  // free + clean file pages, not MemAvailable
    EXPECT_EQ(r.swapUsedBytes, 1000000ull * 1024);
    EXPECT_EQ(r.compressedBytes, 20000ull * 1024 + 4096 + 8192);
    EXPECT_EQ(r.pressure, Level::warning);

    writeFile(dir.file("pressure"), "some avg10=0.00 avg60=0 avg300=0 total=1\nfull avg10=0.00 total=0\n");
    writeFile(dir.file("meminfo"), meminfoWith(1000000, 40000));
    const auto again = source.read();
    EXPECT_EQ(again.availableBytes, 40000ull * 1024);
    EXPECT_EQ(again.pressure, Level::critical);

    LinuxMemorySource nothing({dir.file("none"), dir.file("none"), dir.file("none")});
    const auto none = nothing.read();
    EXPECT_FALSE(none.totalPhysicalBytes || none.availableBytes || none.swapUsedBytes || none.compressedBytes);
    EXPECT_FALSE(none.pressure);
    // Without stall information the available-memory rule alone judges.
    writeFile(dir.file("meminfo"), meminfoWith(1000000, 90000));
    LinuxMemorySource noPsi({dir.file("meminfo"), dir.file("none"), dir.file("none"), dir.file("none")});
    EXPECT_EQ(noPsi.read().pressure, Level::warning);

    // The last level reported is the one the latest read judged.
    EXPECT_EQ(std::pair(noPsi.lastReportedPressure(), nothing.lastReportedPressure()),
              std::pair(Level::warning, Level::normal));
}

// Installed memory is online blocks × the block size; anything doubtful falls back to MemTotal.
TEST(LinuxMemorySourceTest, InstalledMemoryFromOnlineBlocks) {
    EXPECT_EQ(parseBlockSize("8000000\n"), 134217728u);
    for (const char* bad : {"", "0", "0x10", "12 ", "g", "10000000000000000"}) EXPECT_EQ(parseBlockSize(bad), std::nullopt) << bad;
    using Files = std::vector<std::pair<std::string, std::string>>;
    struct Row { const char* name; Files files; std::uint64_t total; };
    const std::uint64_t memTotal = 16000000ull * 1024;  // 15.26 GiB
    const Row rows[] = {
        {"four online blocks of 4 GiB",
         {{"block_size_bytes", "100000000\n"}, {"memory0/online", "1\n"}, {"memory1/online", "1\n"},
          {"memory2/online", "0\n"}, {"memory3/state", "online\n"}, {"memory4/state", "offline\n"},
          {"memory5/online", "1\n"}, {"memoryx/online", "1\n"}, {"memory/online", "1\n"}},
         16ull << 30},
        {"no block size", {{"memory0/online", "1"}, {"memory1/online", "1"}}, memTotal},
        {"fewer than MemTotal", {{"block_size_bytes", "100000000"}, {"memory0/online", "1"}}, memTotal},
        {"no folder", {}, memTotal}};
    for (const auto& r : rows) {
        TempDir dir;
        writeFile(dir.file("meminfo"), meminfoText);
        for (const auto& [file, text] : r.files) writeFile(dir.file("blocks/" + file), text);
        LinuxMemorySource source({dir.file("meminfo"), dir.file("none"), dir.file("none"), dir.file("blocks")});
        EXPECT_EQ(source.read().totalPhysicalBytes, r.total) << r.name;
    }
}
