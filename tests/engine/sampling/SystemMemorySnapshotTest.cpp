#include <gtest/gtest.h>

#include "engine/sampling/SystemMemorySnapshot.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeSources.h"

using namespace velmora;
using Level = MemoryPressureLevel;

TEST(SystemMemorySnapshotTest, CaptureCopiesTheReadingZeroesFailedFieldsAndFallsBackToTheWatcher) {
    FakeSystemMemorySource source;
    FakeClock clock(Date{812345678.5});
    source.reading = {32ull << 30, 5ull << 30, 700ull << 20, 123456789, Level::warning};
    const auto s = SystemMemorySnapshot::capture(source, clock);
    EXPECT_EQ(source.watcherStarts, 1);
    EXPECT_EQ(s, (SystemMemorySnapshot{Level::warning, 123456789, 700ull << 20, 5ull << 30, 32ull << 30, clock.now()}));
    EXPECT_FALSE(s.readFailed);
    EXPECT_EQ(SystemMemorySnapshot::fromJson(s.toJson()), s);

    // A zero standing in for a failed read of a compared figure is flagged; compressed is not compared.
    using R = SystemMemoryReading;
    using S = SystemMemorySnapshot;
    const std::tuple<std::optional<std::uint64_t> R::*, std::uint64_t S::*, bool> cases[] = {
        {&R::totalPhysicalBytes, &S::totalPhysicalBytes, true}, {&R::availableBytes, &S::availableBytes, true},
        {&R::swapUsedBytes, &S::swapUsedBytes, true}, {&R::compressedBytes, &S::compressedBytes, false}};
    for (const auto& [in, out, flagged] : cases) {
        source.reading = {1, 2, 3, 4, Level::normal};
        source.reading.*in = std::nullopt;
        const auto failed = SystemMemorySnapshot::capture(source, clock);
        EXPECT_EQ(failed.*out, 0u);
        EXPECT_EQ(failed.readFailed, flagged);
    }

    // The watcher's level stands in only for an unreadable pressure.
    const std::tuple<std::optional<Level>, Level, Level> pressures[] = {{Level::critical, Level::normal, Level::critical},
                                                                        {Level::normal, Level::critical, Level::normal},
                                                                        {std::nullopt, Level::warning, Level::warning}};
    for (const auto& [read, watcher, expected] : pressures) {
        source.reading.pressure = read;
        source.lastReported = watcher;
        EXPECT_EQ(SystemMemorySnapshot::capture(source, clock).pressure, expected);
    }
    Json j = SystemMemorySnapshot{}.toJson();
    j["pressure"] = "warning";
    EXPECT_EQ(SystemMemorySnapshot::fromJson(j).pressure, Level::warning);
}
