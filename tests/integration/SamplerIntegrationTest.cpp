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
    const pid_t pid = child.pid();
    // The footprint of the app holding the child, and the child's own; nothing when it is not listed.
    auto sample = [&]() -> std::optional<std::pair<std::uint64_t, std::uint64_t>> {
        clock.advance(1);
        sampler.tick();
        for (const auto& app : sampler.appSnapshots())
            for (const auto& detail : app.processDetails)
                if (detail.pid == pid) {
                    EXPECT_TRUE(app.identity.groupingKey.starts_with("name:memory-hog-")) << app.identity.groupingKey;
                    EXPECT_EQ(app.identity.pids, std::vector<std::int32_t>{pid});
                    return std::pair{app.footprintBytes, detail.footprintBytes};
                }
        return std::nullopt;
    };

    const auto before = sample();
    ASSERT_TRUE(before);
    ASSERT_TRUE(child.allocate(300));
    const auto after = sample();
    ASSERT_TRUE(after);
    EXPECT_GE(after->first, before->first + (250ull << 20));
    EXPECT_GE(after->second, 250ull << 20);
    ASSERT_TRUE(sampler.systemSnapshot());
    EXPECT_GT(sampler.systemSnapshot()->totalPhysicalBytes, 0u);
    EXPECT_FALSE(sampler.systemSnapshot()->readFailed);

    ASSERT_TRUE(child.exit());
    EXPECT_FALSE(sample());
}
