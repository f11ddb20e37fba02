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

TEST(SamplerIntegrationTest, ChildAllocationShowsInItsAppAndTheAppForgetsTheChildAfterExit) {
    ProcfsProcessSource processes;
    X11DesktopSession desktop{std::string()};
    LinuxMemorySource memory;
    FakeClock clock;
    ManualScheduler scheduler(clock);
    MemorySampler sampler(processes, desktop, memory, scheduler, clock, SelfProcess{getpid(), std::nullopt});
    ChildProcess child;
    ASSERT_TRUE(child.running());
    // The footprint of the app holding the child; nothing when the child is not listed.
    auto sample = [&]() -> std::optional<std::uint64_t> {
        clock.advance(1);
        sampler.tick();
        for (const auto& app : sampler.appSnapshots()) {
            if (std::ranges::find(app.identity.pids, child.pid()) == app.identity.pids.end()) continue;
            EXPECT_TRUE(app.identity.groupingKey.starts_with("name:memory-hog-")) << app.identity.groupingKey;
            EXPECT_EQ(app.identity.pids, std::vector<std::int32_t>{child.pid()});
            return app.footprintBytes;
        }
        return std::nullopt;
    };

    const auto before = sample();
    ASSERT_TRUE(before);
    ASSERT_TRUE(child.allocate(300));
    EXPECT_GE(sample().value_or(0), *before + (250ull << 20));
    ASSERT_TRUE(sampler.systemSnapshot());
    EXPECT_GT(sampler.systemSnapshot()->totalPhysicalBytes, 0u);
    EXPECT_FALSE(sampler.systemSnapshot()->readFailed);

    ASSERT_TRUE(child.exit());
    EXPECT_FALSE(sample());
}
