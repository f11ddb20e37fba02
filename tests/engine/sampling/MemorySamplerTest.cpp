#include "engine/sampling/MemorySampler.h"

#include <gtest/gtest.h>

#include <set>

#include "engine/sampling/RecentMover.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeSources.h"
#include "tests/fakes/ManualScheduler.h"

namespace velmora {
namespace {

constexpr std::uint64_t MiB = 1024 * 1024;

ProcessReading reading(std::int32_t pid, std::string exe, std::int32_t parent, std::uint64_t footprint) {
    return ProcessReading{pid, "/usr/bin/" + exe, std::nullopt, parent, footprint};
}

class MemorySamplerTest : public ::testing::Test {
protected:
    MemorySamplerTest() {
        processes.processes = {
            reading(1, "systemd", 0, 5 * MiB),
            reading(100, "slack", 1, 300 * MiB),
            reading(101, "slack", 100, 200 * MiB),
            reading(200, "gedit", 1, 80 * MiB),
        };
        desktop.apps = {RunningApplication{100, "com.slack.Slack", "Slack", false, true},
                        RunningApplication{200, "org.gnome.gedit", "Text Editor", false, false}};
        sampler.onChange = [this] { ++changes; };
    }

    const FootprintHistory* history(const std::string& key) const {
        const auto it = sampler.footprintHistory().find(key);
        return it == sampler.footprintHistory().end() ? nullptr : &it->second;
    }

    FakeClock clock;
    ManualScheduler scheduler{clock};
    FakeProcessSource processes;
    FakeDesktopSession desktop;
    FakeSystemMemorySource memory;
    MemorySampler sampler{processes, desktop, memory, scheduler, clock, SelfProcess{4242, std::nullopt}};
    int changes = 0;
};

TEST_F(MemorySamplerTest, StartingTwiceRunsOneTimerAndTakesOneSample) {
    EXPECT_FALSE(sampler.isRunning());
    sampler.start();
    sampler.start();
    EXPECT_TRUE(sampler.isRunning());
    EXPECT_EQ(scheduler.activeTimers(), 1u);
    EXPECT_EQ(processes.reads, 1);
    EXPECT_GE(memory.watcherStarts, 1);
    EXPECT_EQ(sampler.lastTick(), clock.now());

    scheduler.advance(3.0);
    EXPECT_EQ(processes.reads, 4);
    EXPECT_EQ(sampler.lastTick(), clock.now());

    sampler.stop();
    EXPECT_FALSE(sampler.isRunning());
    EXPECT_EQ(scheduler.activeTimers(), 0u);
    scheduler.advance(10.0);
    EXPECT_EQ(processes.reads, 4);
    EXPECT_EQ(sampler.appSnapshots().size(), 3u);  // the last sample stays published

    const int before = changes;
    sampler.stop();
    EXPECT_FALSE(sampler.isRunning());
    EXPECT_EQ(changes, before);
}

TEST_F(MemorySamplerTest, TickPublishesGroupedSnapshotsThenCallsOnTick) {
    std::vector<AppMemorySnapshot> seenApps;
    std::optional<SystemMemorySnapshot> seenSystem;
    int changesAtTick = -1;
    sampler.onTick = [&](const std::vector<AppMemorySnapshot>& apps, const SystemMemorySnapshot& system) {
        seenApps = apps;
        seenSystem = system;
        changesAtTick = changes;
        // Everything is published before the handler runs.
        EXPECT_EQ(sampler.lastTick(), clock.now());
        EXPECT_EQ(sampler.systemSnapshot(), system);
    };
    sampler.tick();

    const auto& apps = sampler.appSnapshots();
    ASSERT_EQ(apps.size(), 3u);
    EXPECT_EQ(apps[0].identity.groupingKey, "com.slack.Slack");
    EXPECT_EQ(apps[0].identity.displayName, "Slack");
    EXPECT_EQ(apps[0].identity.pids, (std::vector<std::int32_t>{100, 101}));
    EXPECT_EQ(apps[0].footprintBytes, 500 * MiB);
    EXPECT_TRUE(apps[0].isForeground);
    EXPECT_EQ(apps[0].timestamp, clock.now());
    EXPECT_EQ(apps[0].processDetails.size(), 2u);
    EXPECT_FALSE(apps[0].compressedBytes.has_value());
    EXPECT_FALSE(apps[0].cpuPercent.has_value());
    EXPECT_FALSE(apps[0].toJson().contains("compressedBytes"));
    EXPECT_EQ(apps[1].identity.groupingKey, "org.gnome.gedit");
    EXPECT_FALSE(apps[1].isForeground);
    EXPECT_EQ(apps[2].identity.groupingKey, "name:systemd");

    ASSERT_TRUE(sampler.systemSnapshot().has_value());
    EXPECT_EQ(sampler.systemSnapshot()->totalPhysicalBytes, 16ull << 30);
    EXPECT_EQ(seenApps, apps);
    EXPECT_EQ(seenSystem, sampler.systemSnapshot());
    EXPECT_EQ(changesAtTick, 3);  // app snapshots, system snapshot, last tick
}

TEST_F(MemorySamplerTest, EmptySampleStillPublishesAndCallsOnTick) {
    processes.processes.clear();
    int ticks = 0;
    sampler.onTick = [&](const auto& apps, const auto&) {
        ++ticks;
        EXPECT_TRUE(apps.empty());
    };
    sampler.tick();
    EXPECT_EQ(ticks, 1);
    EXPECT_TRUE(sampler.appSnapshots().empty());
    EXPECT_TRUE(sampler.lastTick().has_value());
    EXPECT_TRUE(sampler.footprintHistory().empty());
}

TEST_F(MemorySamplerTest, SnapshotIdsDifferAcrossAppsAndSamples) {
    sampler.tick();
    const auto first = sampler.appSnapshots();
    clock.advance(1.0);
    sampler.tick();
    std::set<std::string> ids;
    for (const auto& s : first) ids.insert(s.id());
    EXPECT_EQ(ids.size(), first.size());
    for (const auto& s : sampler.appSnapshots()) EXPECT_TRUE(ids.insert(s.id()).second) << s.id();
}

TEST_F(MemorySamplerTest, ThreeHoursAtOneHertzKeepsTheLastTwoHours) {
    sampler.start();
    scheduler.advance(3 * 3600.0);
    const FootprintHistory* slack = history("com.slack.Slack");
    ASSERT_NE(slack, nullptr);
    EXPECT_EQ(slack->size(), MemorySampler::maxPointsPerApp);
    EXPECT_EQ(slack->back().date, clock.now());
    EXPECT_GE(slack->front().date, clock.now() - MemorySampler::maxHistorySeconds);
    EXPECT_EQ(slack->back().footprintBytes, 500 * MiB);
    // Full two-hour histories stay within 16 bytes a point, bookkeeping included.
    EXPECT_LE(slack->memoryBytes(), 16 * slack->size());
}

TEST_F(MemorySamplerTest, HistoryContinuesAcrossStopAndStart) {
    sampler.start();
    scheduler.advance(9.0);
    sampler.stop();
    scheduler.advance(60.0);
    sampler.start();
    ASSERT_NE(history("com.slack.Slack"), nullptr);
    EXPECT_EQ(history("com.slack.Slack")->size(), 11u);

    // After a pause longer than the window only the new sample is left.
    sampler.stop();
    scheduler.advance(3 * 3600.0);
    sampler.start();
    ASSERT_NE(history("com.slack.Slack"), nullptr);
    EXPECT_EQ(history("com.slack.Slack")->size(), 1u);
    EXPECT_EQ(scheduler.activeTimers(), 1u);
}

TEST_F(MemorySamplerTest, QuitAppKeepsItsHistoryForTwoHoursAfterItsLastPoint) {
    sampler.start();
    scheduler.advance(99.0);
    const Date lastSeen = clock.now();
    processes.processes.pop_back();  // the editor quits
    scheduler.advance(7200.0);
    ASSERT_NE(history("org.gnome.gedit"), nullptr);
    EXPECT_EQ(history("org.gnome.gedit")->size(), 100u);  // untouched, not trimmed
    EXPECT_EQ(history("org.gnome.gedit")->back().date, lastSeen);
    scheduler.advance(1.0);
    EXPECT_EQ(history("org.gnome.gedit"), nullptr);
    EXPECT_NE(history("com.slack.Slack"), nullptr);
}

TEST_F(MemorySamplerTest, StopInsideTheFirstSampleLeavesNoTimer) {
    sampler.onTick = [&](const auto&, const auto&) { sampler.stop(); };
    sampler.start();
    EXPECT_FALSE(sampler.isRunning());
    EXPECT_EQ(scheduler.activeTimers(), 0u);
}

TEST_F(MemorySamplerTest, DestroyingTheSamplerCancelsItsTimer) {
    {
        MemorySampler other{processes, desktop, memory, scheduler, clock, SelfProcess{}};
        other.start();
        EXPECT_EQ(scheduler.activeTimers(), 1u);
    }
    EXPECT_EQ(scheduler.activeTimers(), 0u);
}

// --- FootprintHistory ---

std::vector<FootprintHistory::Point> points(const FootprintHistory& h) { return {h.begin(), h.end()}; }

TEST(FootprintHistory, RingKeepsOrderAcrossWrapAndGrowth) {
    FootprintHistory h;
    for (int i = 0; i < 20; ++i) h.append(Date{double(i)}, std::uint64_t(i));
    h.keepNewest(5);
    for (int i = 20; i < 60; ++i) h.append(Date{double(i)}, std::uint64_t(i));  // wraps, then grows
    ASSERT_EQ(h.size(), 45u);
    for (std::size_t i = 0; i < h.size(); ++i) {
        EXPECT_EQ(h[i].date, Date{double(15 + i)});
        EXPECT_EQ(h[i].footprintBytes, 15 + i);
    }
    h.removeBefore(Date{50.0});
    EXPECT_EQ(h.front().date, Date{50.0});
    EXPECT_EQ(h.size(), 10u);
    h.keepNewest(0);
    EXPECT_TRUE(h.empty());
    EXPECT_EQ(h.capacity(), 0u);
}

TEST(FootprintHistory, FootprintsUpToFortyEightBitsAreExact) {
    FootprintHistory h;
    const std::uint64_t big = (std::uint64_t{1} << 47) + 123456789;
    h.append(Date{1.25}, big);
    h.append(Date{2.5}, std::uint64_t{1} << 48);
    h.append(Date{3.0}, UINT64_MAX);
    EXPECT_EQ(h[0], (FootprintHistory::Point{Date{1.25}, big}));
    EXPECT_EQ(h[1].footprintBytes, FootprintHistory::maxFootprint);
    EXPECT_EQ(h[2].footprintBytes, FootprintHistory::maxFootprint);
}

TEST(FootprintHistory, PointsBeforeTheCutoffGoEvenWhenTheClockWentBack) {
    FootprintHistory h;
    for (int i = 0; i < 10; ++i) h.append(Date{1000.0 + i}, 1);
    h.append(Date{10.0}, 2);  // the clock was set back
    h.append(Date{1010.0}, 3);
    EXPECT_EQ(h.firstIndexAtOrAfter(Date{1005.0}), 5u);
    h.removeBefore(Date{1005.0});
    const auto left = points(h);
    ASSERT_EQ(left.size(), 6u);
    for (const auto& p : left) EXPECT_GE(p.date, Date{1005.0});
    EXPECT_EQ(left.back().footprintBytes, 3u);
    // Back in order: the cheap path trims from the front again.
    h.removeBefore(Date{1008.0});
    EXPECT_EQ(h.size(), 3u);
    EXPECT_EQ(h.firstIndexAtOrAfter(Date{2000.0}), h.size());
}

TEST(FootprintHistory, CopiesAreDeepAndMovesEmptyTheSource) {
    FootprintHistory a;
    for (int i = 0; i < 30; ++i) a.append(Date{double(i)}, std::uint64_t(i) * 7);
    a.keepNewest(12);
    FootprintHistory b = a;
    EXPECT_EQ(a, b);
    EXPECT_EQ(b.capacity(), 12u);
    b.append(Date{99.0}, 1);
    EXPECT_NE(a, b);
    FootprintHistory c = std::move(a);
    EXPECT_EQ(c.size(), 12u);
    EXPECT_TRUE(a.empty());  // NOLINT(bugprone-use-after-move): a moved-from history is empty
    a.append(Date{1.0}, 1);
    EXPECT_EQ(a.size(), 1u);
}

TEST(FootprintHistory, StorageShrinksAfterALargeTrim) {
    FootprintHistory h;
    for (int i = 0; i < 7200; ++i) h.append(Date{double(i)}, 1);
    EXPECT_LE(h.memoryBytes(), 16 * h.size());
    h.removeBefore(Date{7190.0});
    EXPECT_EQ(h.size(), 10u);
    EXPECT_LT(h.capacity(), 100u);
    EXPECT_EQ(h.front().date, Date{7190.0});
}

// --- RecentMover ---

struct MoverFixture {
    FootprintHistoryMap history;
    std::unordered_map<std::string, ProcessIdentity> identities;
    Date now{100000.0};

    void add(const std::string& key, std::string name, std::vector<std::pair<double, std::uint64_t>> agoAndBytes,
             bool isSelf = false) {
        auto& h = history[key];
        for (auto [ago, bytes] : agoAndBytes) h.append(now - ago, bytes);
        identities[key] = ProcessIdentity{key, std::nullopt, std::move(name), {1}, isSelf};
    }
};

TEST(RecentMover, MeasuresFromTheFirstPointInsideTheWindow) {
    MoverFixture f;
    f.add("a", "Alpha", {{400, 350 * MiB}, {290, 400 * MiB}, {0, 430 * MiB}});
    f.add("b", "Beta", {{200, 100 * MiB}, {0, 119 * MiB}});               // 19 MiB: too small
    f.add("c", "Gamma", {{200, 100 * MiB}, {0, 80 * MiB}});               // exactly 20 MiB down
    f.add("d", "Delta", {{900, 500 * MiB}, {600, 700 * MiB}});            // all older than the window
    f.add("e", "Google Chrome Helper", {{100, 0}, {0, 64 * MiB}}, true);  // named by friendlyAppName
    f.history["gone"].append(f.now - 10, 1);
    f.history["gone"].append(f.now, 900 * MiB);  // quit: no identity

    const auto movers = RecentMover::compute(f.history, f.identities, 300, f.now, 20 * MiB, 10);
    ASSERT_EQ(movers.size(), 4u);
    EXPECT_EQ(movers[0], (RecentMover{"d", "Delta", 200 * MiB, 700 * MiB, false}));
    EXPECT_EQ(movers[1], (RecentMover{"e", "Google Chrome", 64 * MiB, 64 * MiB, true}));
    EXPECT_EQ(movers[2], (RecentMover{"a", "Alpha", 30 * MiB, 430 * MiB, false}));
    EXPECT_EQ(movers[3], (RecentMover{"c", "Gamma", -20 * std::int64_t(MiB), 80 * MiB, false}));
}

TEST(RecentMover, KeepsTheLargestAbsoluteChangesUpToTheCount) {
    MoverFixture f;
    f.add("up100", "A", {{10, 100 * MiB}, {0, 200 * MiB}});
    f.add("down300", "B", {{10, 400 * MiB}, {0, 100 * MiB}});
    f.add("up50", "C", {{10, 100 * MiB}, {0, 150 * MiB}});
    f.add("down200", "D", {{10, 300 * MiB}, {0, 100 * MiB}});
    f.add("up30", "E", {{10, 100 * MiB}, {0, 130 * MiB}});
    const auto movers = RecentMover::compute(f.history, f.identities, 300, f.now, 20 * MiB, 3);
    ASSERT_EQ(movers.size(), 3u);
    EXPECT_EQ(movers[0].groupingKey, "down300");
    EXPECT_EQ(movers[1].groupingKey, "down200");
    EXPECT_EQ(movers[2].groupingKey, "up100");
    EXPECT_TRUE(RecentMover::compute(f.history, f.identities, 300, f.now, 20 * MiB, 0).empty());
    EXPECT_TRUE(RecentMover::compute(f.history, {}, 300, f.now, 20 * MiB, 3).empty());
}

}  // namespace
}  // namespace velmora
