#include "engine/sampling/MemorySampler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "engine/sampling/RecentMover.h"
#include "tests/fakes/ExistingFiles.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeSources.h"
#include "tests/fakes/ManualScheduler.h"

namespace velmora {
namespace {

constexpr std::uint64_t MiB = 1024 * 1024;

class MemorySamplerTest : public ::testing::Test {
protected:
    MemorySamplerTest() {
        processes.processes = {
            {1, "/usr/bin/systemd", std::nullopt, 0, 5 * MiB}, {100, "/usr/bin/slack", std::nullopt, 1, 300 * MiB},
            {101, "/usr/bin/slack", std::nullopt, 100, 200 * MiB}, {200, "/usr/bin/gedit", std::nullopt, 1, 80 * MiB}};
        desktop.apps = {RunningApplication{100, "com.slack.Slack", "Slack", false, true},
                        RunningApplication{200, "org.gnome.gedit", "Text Editor", false, false}};
        sampler.onChange = [this] { ++changes; };
    }

    std::size_t historySize(const std::string& key) const { return sampler.footprintHistory().at(key).size(); }

    FakeClock clock;
    ManualScheduler scheduler{clock};
    FakeProcessSource processes;
    FakeDesktopSession desktop;
    FakeSystemMemorySource memory;
    MemorySampler sampler{processes, desktop, memory, scheduler, clock, SelfProcess{4242, std::nullopt}};
    int changes = 0;
};

TEST_F(MemorySamplerTest, StartingTwiceRunsOneTimerAndStoppingLeavesNone) {
    sampler.start();
    sampler.start();
    EXPECT_TRUE(sampler.isRunning());
    EXPECT_EQ(scheduler.activeTimers(), 1u);
    EXPECT_EQ(processes.reads, 1);
    EXPECT_GE(memory.watcherStarts, 1);
    scheduler.advance(3.0);
    EXPECT_EQ(processes.reads, 4);
    EXPECT_EQ(sampler.lastTick(), clock.now());

    sampler.stop();
    scheduler.advance(10.0);
    EXPECT_EQ(processes.reads, 4);
    EXPECT_EQ(sampler.appSnapshots().size(), 3u);
    const int before = changes;
    sampler.stop();
    EXPECT_FALSE(sampler.isRunning());
    EXPECT_EQ(changes, before);

    // A tick handler that stops the sampler leaves no timer behind, nor does destruction.
    sampler.onTick = [&](const auto&, const auto&) { sampler.stop(); };
    sampler.start();
    EXPECT_FALSE(sampler.isRunning());
    EXPECT_EQ(scheduler.activeTimers(), 0u);
    {
        MemorySampler other{processes, desktop, memory, scheduler, clock, SelfProcess{}};
        other.start();
        EXPECT_EQ(scheduler.activeTimers(), 1u);
    }
    EXPECT_EQ(scheduler.activeTimers(), 0u);
}

TEST_F(MemorySamplerTest, TickPublishesGroupedSnapshotsThenCallsOnTick) {
    int changesAtTick = -1;
    sampler.onTick = [&](const std::vector<AppMemorySnapshot>& apps, const SystemMemorySnapshot& system) {
        changesAtTick = changes;
        EXPECT_EQ(&apps, &sampler.appSnapshots());
        EXPECT_EQ(sampler.systemSnapshot(), system);
    };
    sampler.tick();
    EXPECT_EQ(changesAtTick, 3);  // app snapshots, system snapshot, last tick: all before onTick

    const auto& apps = sampler.appSnapshots();
    ASSERT_EQ(apps.size(), 3u);
    EXPECT_EQ(apps[0], (AppMemorySnapshot{{"com.slack.Slack", "com.slack.Slack", "Slack", {100, 101}, false}, 500 * MiB,
                                          std::nullopt, std::nullopt, true, clock.now(),
                                          {{100, "Slack", 300 * MiB, 1}, {101, "slack", 200 * MiB, 100}}}));
    EXPECT_FALSE(apps[0].toJson().contains("compressedBytes"));
    EXPECT_EQ(apps[1].identity.groupingKey, "org.gnome.gedit");
    EXPECT_EQ(apps[2].identity.groupingKey, "name:systemd");

    // Ids differ between apps of one sample and between samples of one app.
    std::set<std::string> ids{apps[0].id(), apps[1].id(), apps[2].id()};
    clock.advance(1.0);
    sampler.tick();
    for (const auto& s : sampler.appSnapshots()) ids.insert(s.id());
    EXPECT_EQ(ids.size(), 6u);

    processes.processes.clear();
    changesAtTick = -1;
    sampler.tick();
    EXPECT_GE(changesAtTick, 0);
    EXPECT_TRUE(sampler.appSnapshots().empty());
}

TEST_F(MemorySamplerTest, HistoryContinuesAcrossStopsKeepsTwoHoursAndOutlivesAQuitApp) {
    sampler.start();
    scheduler.advance(9.0);
    sampler.stop();
    scheduler.advance(60.0);
    sampler.start();
    EXPECT_EQ(historySize("com.slack.Slack"), 11u);

    scheduler.advance(89.0);
    processes.processes.pop_back();  // the editor quits
    scheduler.advance(7200.0);
    EXPECT_EQ(historySize("org.gnome.gedit"), 100u);  // untouched, not trimmed
    scheduler.advance(1.0);
    EXPECT_EQ(sampler.footprintHistory().count("org.gnome.gedit"), 0u);

    sampler.stop();
    scheduler.advance(3 * 3600.0);
    sampler.start();
    EXPECT_EQ(historySize("com.slack.Slack"), 1u);

    // Three hours at one sample a second keep the last two, within 16 bytes a point.
    scheduler.advance(3 * 3600.0);
    const FootprintHistory& slack = sampler.footprintHistory().at("com.slack.Slack");
    EXPECT_EQ(slack.size(), 7200u);
    EXPECT_EQ(slack.back(), (FootprintHistory::Point{clock.now(), 500 * MiB}));
    EXPECT_GE(slack.front().date, clock.now() - 7200.0);
    EXPECT_LE(slack.memoryBytes(), 16 * slack.size());
}

TEST(FootprintHistory, RingKeepsOrderAcrossWrapGrowthAndTrims) {
    FootprintHistory h;
    for (int i = 0; i < 20; ++i) h.append(Date{double(i)}, std::uint64_t(i));
    h.keepNewest(5);
    for (int i = 20; i < 60; ++i) h.append(Date{double(i)}, std::uint64_t(i));  // wraps, then grows
    ASSERT_EQ(h.size(), 45u);
    for (std::size_t i = 0; i < h.size(); ++i) EXPECT_EQ(h[i], (FootprintHistory::Point{Date{15.0 + i}, 15 + i}));
    FootprintHistory copy = h;
    h.removeBefore(Date{50.0});
    EXPECT_EQ(h.front().date, Date{50.0});
    EXPECT_EQ(h.size(), 10u);
    EXPECT_EQ(copy.size(), 45u);  // copies are deep
    h.keepNewest(0);
    EXPECT_EQ(h.capacity(), 0u);

    for (int i = 0; i < 7200; ++i) h.append(Date{double(i)}, 1);
    h.removeBefore(Date{7190.0});
    EXPECT_LT(h.capacity(), 100u);  // storage shrinks after a large trim

    // Footprints are exact up to 48 bits and saturate beyond.
    const std::uint64_t big = (std::uint64_t{1} << 47) + 123456789;
    h.append(Date{8000.0}, big);
    h.append(Date{8001.0}, std::uint64_t{1} << 50);
    EXPECT_EQ(h[h.size() - 2].footprintBytes, big);
    EXPECT_EQ(h.back().footprintBytes, FootprintHistory::maxFootprint);

    // A clock set back leaves an early point behind later ones; the cutoff still removes it.
    h.append(Date{10.0}, 2);
    h.append(Date{8002.0}, 3);
    EXPECT_EQ(h.firstIndexAtOrAfter(Date{7195.0}), 5u);
    h.removeBefore(Date{7195.0});
    std::vector<double> dates;
    for (const auto& p : h) dates.push_back(p.date.secondsSince2001);
    EXPECT_EQ(dates, (std::vector<double>{7195, 7196, 7197, 7198, 7199, 8000, 8001, 8002}));
}

// A crash handler its browser left behind is named after the browser installed beside it.
TEST(MemorySamplerFiles, GroupingLooksBesideLoneHelpersThroughTheFilesGiven) {
    FakeClock clock;
    ManualScheduler scheduler{clock};
    FakeProcessSource processes;
    processes.processes = {{1, "/usr/lib/systemd/systemd", "systemd", 0, 5 * MiB},
                           {300, "/usr/lib/chromium/chrome_crashpad_handler", "chrome_crashpad", 1, 1 * MiB}};
    FakeDesktopSession desktop;
    FakeSystemMemorySource memory;
    const ExistingFiles files({"/usr/lib/chromium/chromium"});
    MemorySampler sampler{processes, desktop, memory, scheduler, clock, SelfProcess{4242, std::nullopt}, &files};
    sampler.tick();
    const auto& apps = sampler.appSnapshots();
    const auto handler = std::ranges::find_if(apps, [](const auto& a) { return a.identity.pids == std::vector{300}; });
    ASSERT_NE(handler, apps.end());
    EXPECT_EQ(std::tie(handler->identity.groupingKey, handler->identity.displayName),
              std::tuple("family:chromium", "Chromium"));
}

TEST(RecentMover, MeasuresFromTheFirstPointInsideTheWindowAndKeepsTheLargest) {
    FootprintHistoryMap history;
    std::unordered_map<std::string, ProcessIdentity> identities;
    const Date now{100000.0};
    auto add = [&](std::string key, std::string name, std::vector<std::pair<double, std::uint64_t>> points,
                   bool isSelf = false) {
        for (auto [ago, bytes] : points) history[key].append(now - ago, bytes);
        identities[key] = ProcessIdentity{key, std::nullopt, std::move(name), {1}, isSelf};
    };
    add("a", "Alpha", {{400, 350 * MiB}, {290, 400 * MiB}, {0, 430 * MiB}});
    add("b", "Beta", {{200, 100 * MiB}, {0, 119 * MiB}});               // 19 MiB: too small
    add("c", "Gamma", {{200, 100 * MiB}, {0, 40 * MiB}});               // releases rank by size too
    add("f", "Phi", {{200, 100 * MiB}, {0, 80 * MiB}});                 // exactly 20 MiB counts
    add("d", "Delta", {{900, 500 * MiB}, {600, 700 * MiB}});            // all older than the window
    add("e", "Google Chrome Helper", {{100, 0}, {0, 64 * MiB}}, true);  // named by friendlyAppName
    history["gone"].append(now, 900 * MiB);                             // quit: no identity

    const auto movers = RecentMover::compute(history, identities, 300, now, 20 * MiB, 10);
    EXPECT_EQ(movers, (std::vector<RecentMover>{{"d", "Delta", 200 * MiB, 700 * MiB, false},
                                                {"e", "Google Chrome", 64 * MiB, 64 * MiB, true},
                                                {"c", "Gamma", -60 * std::int64_t(MiB), 40 * MiB, false},
                                                {"a", "Alpha", 30 * MiB, 430 * MiB, false},
                                                {"f", "Phi", -20 * std::int64_t(MiB), 80 * MiB, false}}));
    EXPECT_EQ(RecentMover::compute(history, identities, 300, now, 20 * MiB, 3),
              std::vector<RecentMover>(movers.begin(), movers.begin() + std::min<std::size_t>(3, movers.size())));
    EXPECT_TRUE(RecentMover::compute(history, identities, 300, now, 20 * MiB, 0).empty());
}

}  // namespace
}  // namespace velmora
