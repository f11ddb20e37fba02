#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

#include "engine/detection/AppNoiseProfileStore.h"
#include "engine/detection/SignificantChangeDetector.h"
#include "engine/sampling/MemorySampler.h"
#include "platform/linux/LinuxMemorySource.h"
#include "platform/linux/ProcfsParsing.h"
#include "platform/linux/ProcfsProcessSource.h"
#include "platform/linux/SystemClock.h"
#include "platform/linux/X11DesktopSession.h"
#include "tests/fakes/ChildProcess.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/InMemoryDefaults.h"
#include "tests/fakes/ManualScheduler.h"

using namespace velmora;

// The real sampler and detector see a child process grow by 600 MiB over a few seconds as one
// large growth of its app, and its release as one large release; in private memory or in shared
// memory (a memfd, as a browser's drawing holds it).
class DetectionIntegrationTest : public ::testing::TestWithParam<bool> {};

INSTANTIATE_TEST_SUITE_P(PrivateAndShared, DetectionIntegrationTest, ::testing::Bool());

TEST_P(DetectionIntegrationTest, ChildGrowthAndReleaseAreEachReportedOnce) {
    const bool shared = GetParam();
    constexpr std::int64_t MiB = 1 << 20;
    ProcfsProcessSource processes;
    X11DesktopSession desktop{std::string()};
    LinuxMemorySource memory;
    SystemClock clock;
    FakeClock unusedClock;
    ManualScheduler scheduler(unusedClock);  // ticks are driven by hand below
    MemorySampler sampler(processes, desktop, memory, scheduler, clock, SelfProcess{getpid(), std::nullopt});
    ChildProcess child;
    sampler.tick();
    ASSERT_TRUE(sampler.systemSnapshot());

    InMemoryDefaults defaults;
    AppNoiseProfileStore noise(defaults);
    // A short cooldown lets the release follow the growth quickly.
    SignificantChangeDetector detector(sampler.systemSnapshot()->totalPhysicalBytes, noise, 2.0);
    std::vector<SignificantChange> seen;
    detector.onSignificantChange = [&](const auto& c) {
        if (std::ranges::count(c.app.pids, child.pid())) seen.push_back(c);
    };
    sampler.onTick = [&](const auto& apps, const auto& system) { detector.evaluate(apps, system, clock.now()); };
    auto tick = [&](const std::function<void()>& before = {}) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        if (before) before();
        sampler.tick();
    };

    tick();  // the child's app is now being watched
    for (int step = 0; step < 3; ++step) tick([&] { ASSERT_TRUE(shared ? child.allocateShared(200) : child.allocate(200)); });
    for (int i = 0; i < 8 && seen.empty(); ++i) tick();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].kind, SignificantChange::Kind::largeGrowth());
    EXPECT_NEAR(double(seen[0].signedDelta), 600.0 * MiB, 50.0 * MiB);
    EXPECT_EQ(seen[0].app.pids, std::vector<std::int32_t>{child.pid()});
    EXPECT_GE(seen[0].detectedAt - *seen[0].growthStartedAt, SignificantChangeDetector::confirmSeconds);

    tick();  // watching again from the grown footprint
    tick([&] { ASSERT_TRUE(child.release()); });
    for (int i = 0; i < 8 && seen.size() < 2; ++i) tick();
    tick();  // nothing more follows
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].kind, SignificantChange::Kind::largeRelease());
    EXPECT_LE(seen[1].signedDelta, -550 * MiB);
    EXPECT_EQ(seen[1].app.groupingKey, seen[0].app.groupingKey);
}

// An app forks children without exec that share its memory copy-on-write, as a pre-forking server
// or a pool of workers does: the fork and the children's exit make no story, the app's footprint is
// the kernel's proportional sum over its processes throughout, and what the workers then write of
// their own is one growth, freed again when they end.
TEST(DetectionIntegrationTest, ForkedChildrenShareTheirParentsMemoryAndOnlyTheirOwnWritesMakeAStory) {
    constexpr std::int64_t MiB = 1 << 20;
    ProcfsProcessSource processes;
    X11DesktopSession desktop{std::string()};
    LinuxMemorySource memory;
    FakeClock clock;
    ManualScheduler scheduler(clock);  // ticks are driven by hand below, a second apart
    MemorySampler sampler(processes, desktop, memory, scheduler, clock, SelfProcess{getpid(), std::nullopt});
    ChildProcess hog;
    ASSERT_TRUE(hog.running() && hog.allocate(512));

    InMemoryDefaults defaults;
    AppNoiseProfileStore noise(defaults);
    SignificantChangeDetector detector(8ull << 30, noise, 2.0);  // a large change: 50 MiB
    std::vector<SignificantChange> seen;
    std::optional<AppMemorySnapshot> app;
    detector.onSignificantChange = [&](const auto& c) {
        if (std::ranges::count(c.app.pids, hog.pid())) seen.push_back(c);
    };
    sampler.onTick = [&](const auto& apps, const auto& system) {
        app.reset();
        for (const auto& a : apps)
            if (std::ranges::count(a.identity.pids, hog.pid())) app = a;
        detector.evaluate(apps, system, clock.now());
    };
    // The app's footprint against the proportional sums over its processes, read the long way.
    const auto expectProportional = [&](const char* when) {
        ASSERT_TRUE(app) << when;
        std::int64_t truth = 0;
        for (const std::int32_t pid : app->identity.pids) {
            std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
            const std::string rollup{std::istreambuf_iterator<char>(in), {}};
            for (const char* key : {"Pss_Anon", "SwapPss", "Pss_Shmem"})
                truth += static_cast<std::int64_t>(procfs::kilobyteField(rollup, key).value_or(0));
        }
        EXPECT_NEAR(double(app->footprintBytes), double(truth), 16.0 * MiB) << when;
    };
    // A tenth of a second apart: a process reaped while another program reads its memory (another
    // test, or sampler, beside this one) keeps its pages mapped until that read ends.
    const auto ticks = [&](int count) {
        for (int i = 0; i < count; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            clock.advance(1);
            sampler.tick();
        }
    };

    ticks(3);
    expectProportional("before the fork");
    ASSERT_TRUE(hog.forkChildren(3));
    ticks(8);
    ASSERT_TRUE(app);
    EXPECT_EQ(app->identity.pids.size(), 4u);
    expectProportional("three idle children");
    ASSERT_TRUE(hog.endChildren());
    ticks(8);
    expectProportional("the children gone");
    EXPECT_TRUE(seen.empty()) << "a story of " << (seen.empty() ? 0 : seen[0].signedDelta / MiB) << " MiB";

    ASSERT_TRUE(hog.forkChildren(4));
    ticks(8);
    EXPECT_TRUE(seen.empty());
    ASSERT_TRUE(hog.childrenAllocate(100));
    ticks(8);
    expectProportional("four workers with 100 MiB each");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].kind, SignificantChange::Kind::largeGrowth());
    EXPECT_NEAR(double(seen[0].signedDelta), 400.0 * MiB, 40.0 * MiB);
    ASSERT_TRUE(hog.endChildren());
    ticks(8);
    expectProportional("the workers gone");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].kind, SignificantChange::Kind::largeRelease());
    EXPECT_NEAR(double(seen[1].signedDelta), -400.0 * MiB, 40.0 * MiB);
}
