#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>

#include "engine/sampling/MemorySampler.h"
#include "platform/linux/LinuxMemorySource.h"
#include "platform/linux/ProcfsProcessSource.h"
#include "platform/linux/X11DesktopSession.h"
#include "tests/fakes/ChildProcess.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/ManualScheduler.h"

using namespace velmora;

namespace {

const AppMemorySnapshot* appWithPid(const std::vector<AppMemorySnapshot>& apps, pid_t pid) {
    for (const auto& app : apps) {
        const auto& pids = app.identity.pids;
        if (std::find(pids.begin(), pids.end(), pid) != pids.end()) return &app;
    }
    return nullptr;
}

}  // namespace

TEST(SamplerIntegrationTest, ChildAllocationShowsInItsAppAndTheAppForgetsTheChildAfterExit) {
    ProcfsProcessSource processes;
    X11DesktopSession desktop{std::string()};
    LinuxMemorySource memory;
    FakeClock clock;
    ManualScheduler scheduler(clock);
    MemorySampler sampler(processes, desktop, memory, scheduler, clock, SelfProcess{getpid(), std::nullopt});

    ChildProcess child;
    ASSERT_TRUE(child.running());
    sampler.tick();
    const AppMemorySnapshot* before = appWithPid(sampler.appSnapshots(), child.pid());
    ASSERT_NE(before, nullptr);
    const std::uint64_t footprintBefore = before->footprintBytes;

    ASSERT_TRUE(child.allocate(300));
    clock.advance(1);
    sampler.tick();
    const AppMemorySnapshot* after = appWithPid(sampler.appSnapshots(), child.pid());
    ASSERT_NE(after, nullptr);
    EXPECT_GE(after->footprintBytes, footprintBefore + (250ull << 20));
    const auto detail = std::find_if(after->processDetails.begin(), after->processDetails.end(),
                                     [&](const ProcessDetail& d) { return d.pid == child.pid(); });
    ASSERT_NE(detail, after->processDetails.end());
    EXPECT_GE(detail->footprintBytes, 250ull << 20);
    ASSERT_TRUE(sampler.systemSnapshot());
    EXPECT_GT(sampler.systemSnapshot()->totalPhysicalBytes, 0u);
    EXPECT_FALSE(sampler.systemSnapshot()->readFailed);

    const pid_t pid = child.pid();
    ASSERT_TRUE(child.exit());
    clock.advance(1);
    sampler.tick();
    EXPECT_EQ(appWithPid(sampler.appSnapshots(), pid), nullptr);
}
