#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "engine/detection/AppNoiseProfileStore.h"
#include "engine/detection/SignificantChangeDetector.h"
#include "engine/sampling/MemorySampler.h"
#include "platform/linux/LinuxMemorySource.h"
#include "platform/linux/ProcfsProcessSource.h"
#include "platform/linux/SystemClock.h"
#include "platform/linux/X11DesktopSession.h"
#include "tests/fakes/ChildProcess.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/InMemoryDefaults.h"
#include "tests/fakes/ManualScheduler.h"

using namespace velmora;

namespace {

constexpr std::int64_t MiB = 1 << 20;

bool hasPid(const ProcessIdentity& identity, pid_t pid) {
    return std::find(identity.pids.begin(), identity.pids.end(), pid) != identity.pids.end();
}

}  // namespace

// The real sampler and detector see a child process grow by 600 MiB over a few seconds as one
// large growth of its app, and its release as one large release.
TEST(DetectionIntegrationTest, ChildGrowthAndReleaseAreEachReportedOnce) {
    ProcfsProcessSource processes;
    X11DesktopSession desktop{std::string()};
    LinuxMemorySource memory;
    SystemClock clock;
    FakeClock unusedClock;
    ManualScheduler scheduler(unusedClock);  // ticks are driven by hand below
    // No process is this application, so the child's app (it shares this test's name) is watched.
    MemorySampler sampler(processes, desktop, memory, scheduler, clock, SelfProcess{0, std::nullopt});

    ChildProcess child;
    ASSERT_TRUE(child.running());
    sampler.tick();
    ASSERT_TRUE(sampler.systemSnapshot());
    ASSERT_GT(sampler.systemSnapshot()->totalPhysicalBytes, 0u);

    InMemoryDefaults defaults;
    AppNoiseProfileStore noise(defaults);
    // A short cooldown lets the release follow the growth quickly; the 20 s default is covered
    // by the unit tests.
    SignificantChangeDetector detector(sampler.systemSnapshot()->totalPhysicalBytes, noise, 2.0);
    std::vector<SignificantChange> childChanges;
    detector.onSignificantChange = [&](const SignificantChange& c) {
        if (hasPid(c.app, child.pid())) childChanges.push_back(c);
    };
    sampler.onTick = [&](const std::vector<AppMemorySnapshot>& apps, const SystemMemorySnapshot& system) {
        detector.evaluate(apps, system, clock.now());
    };

    auto tick = [&](const std::function<void()>& before = {}) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        if (before) before();
        sampler.tick();
    };
    // Ticks until `done` holds, at most `limit` times.
    auto tickUntil = [&](const std::function<bool()>& done, int limit) {
        for (int i = 0; i < limit && !done(); ++i) tick();
    };

    tick();  // the child's app is now being watched
    const Date growthBegan = clock.now();
    for (int step = 0; step < 3; ++step) tick([&] { ASSERT_TRUE(child.allocate(200)); });
    tickUntil([&] { return !childChanges.empty(); }, 8);

    ASSERT_EQ(childChanges.size(), 1u);
    const SignificantChange growth = childChanges[0];
    EXPECT_EQ(growth.kind, SignificantChange::Kind::largeGrowth());
    EXPECT_GE(growth.signedDelta, 550 * MiB);
    EXPECT_LE(growth.signedDelta, 700 * MiB);
    ASSERT_TRUE(growth.growthStartedAt);
    EXPECT_GE(*growth.growthStartedAt, growthBegan);
    EXPECT_GE(growth.detectedAt - *growth.growthStartedAt, SignificantChangeDetector::confirmSeconds);
    ASSERT_TRUE(growth.system);
    EXPECT_FALSE(growth.system->readFailed);

    tick();  // watching again from the grown footprint
    tick([&] { ASSERT_TRUE(child.release()); });
    tickUntil([&] { return childChanges.size() > 1; }, 8);
    tick();  // nothing more follows

    ASSERT_EQ(childChanges.size(), 2u);
    const SignificantChange& release = childChanges[1];
    EXPECT_EQ(release.kind, SignificantChange::Kind::largeRelease());
    EXPECT_LE(release.signedDelta, -550 * MiB);
    EXPECT_EQ(release.app.groupingKey, growth.app.groupingKey);
    EXPECT_GT(release.baselineFootprint, release.currentFootprint);
}
