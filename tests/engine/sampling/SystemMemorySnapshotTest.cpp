#include <gtest/gtest.h>

#include "engine/sampling/SystemMemorySnapshot.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeSources.h"

using namespace velmora;

TEST(SystemMemorySnapshotTest, CaptureCopiesReadingStartsWatcherAndStampsTime) {
    FakeSystemMemorySource source;
    source.reading = {32ull << 30, 5ull << 30, 700ull << 20, 123456789, MemoryPressureLevel::warning};
    FakeClock clock(Date{812345678.5});
    const auto s = SystemMemorySnapshot::capture(source, clock);
    EXPECT_EQ(source.watcherStarts, 1);
    EXPECT_EQ(source.reads, 1);
    EXPECT_EQ(s.totalPhysicalBytes, 32ull << 30);
    EXPECT_EQ(s.availableBytes, 5ull << 30);
    EXPECT_EQ(s.compressedBytes, 700ull << 20);
    EXPECT_EQ(s.swapUsedBytes, 123456789u);
    EXPECT_EQ(s.pressure, MemoryPressureLevel::warning);
    EXPECT_EQ(s.timestamp, Date{812345678.5});
    EXPECT_FALSE(s.readFailed);
}

TEST(SystemMemorySnapshotTest, PressureFallsBackToWatcherLevelOnlyWhenUnreadable) {
    struct Case {
        std::optional<MemoryPressureLevel> read;
        MemoryPressureLevel watcher;
        MemoryPressureLevel expected;
    };
    const Case cases[] = {
        {MemoryPressureLevel::critical, MemoryPressureLevel::normal, MemoryPressureLevel::critical},
        {MemoryPressureLevel::normal, MemoryPressureLevel::critical, MemoryPressureLevel::normal},
        {std::nullopt, MemoryPressureLevel::warning, MemoryPressureLevel::warning},
        {std::nullopt, MemoryPressureLevel::normal, MemoryPressureLevel::normal},
    };
    for (const auto& c : cases) {
        FakeSystemMemorySource source;
        source.reading.pressure = c.read;
        source.lastReported = c.watcher;
        FakeClock clock;
        EXPECT_EQ(SystemMemorySnapshot::capture(source, clock).pressure, c.expected);
    }
}

TEST(SystemMemorySnapshotTest, EachFailedFieldIsZeroAndComparedFieldsFlagTheFailure) {
    struct Case {
        const char* label;
        void (*fail)(SystemMemoryReading&);
        bool readFailed;
    };
    const Case cases[] = {
        {"swap", [](SystemMemoryReading& r) { r.swapUsedBytes.reset(); }, true},
        {"available", [](SystemMemoryReading& r) { r.availableBytes.reset(); }, true},
        {"total", [](SystemMemoryReading& r) { r.totalPhysicalBytes.reset(); }, true},
        {"compressed", [](SystemMemoryReading& r) { r.compressedBytes.reset(); }, false},
    };
    for (const auto& c : cases) {
        FakeSystemMemorySource source;
        source.reading = {16ull << 30, 8ull << 30, 1ull << 20, 2ull << 20, MemoryPressureLevel::normal};
        c.fail(source.reading);
        FakeClock clock;
        const auto s = SystemMemorySnapshot::capture(source, clock);
        EXPECT_EQ(s.readFailed, c.readFailed) << c.label;
        const std::string label = c.label;
        EXPECT_EQ(s.swapUsedBytes, label == "swap" ? 0u : 2ull << 20) << c.label;
        EXPECT_EQ(s.availableBytes, label == "available" ? 0u : 8ull << 30) << c.label;
        EXPECT_EQ(s.totalPhysicalBytes, label == "total" ? 0u : 16ull << 30) << c.label;
        EXPECT_EQ(s.compressedBytes, label == "compressed" ? 0u : 1ull << 20) << c.label;
    }
}

TEST(SystemMemorySnapshotTest, DecodesPressureFromJson) {
    FakeSystemMemorySource source;
    FakeClock clock;
    auto s = SystemMemorySnapshot::capture(source, clock);
    Json j = s.toJson();
    j["pressure"] = "warning";
    EXPECT_EQ(SystemMemorySnapshot::fromJson(j).pressure, MemoryPressureLevel::warning);
}
