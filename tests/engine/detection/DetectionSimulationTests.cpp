#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/detection/AppNoiseProfileStore.h"
#include "engine/detection/SignificantChangeDetector.h"
#include "engine/detection/SustainedGrowthDetector.h"
#include "engine/sampling/MemorySampler.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeSources.h"
#include "tests/fakes/InMemoryDefaults.h"
#include "tests/fakes/ManualScheduler.h"

using namespace velmora;

// Two and a half hours of once-a-second samples through the real sampler: jittery apps stay
// quiet, one step is reported once, and a slow leak is reported once as sustained growth.
TEST(DetectionSimulationTest, HoursOfSamples) {
    constexpr std::uint64_t GiB = 1ull << 30, MiB = 1ull << 20;
    FakeClock clock;
    ManualScheduler scheduler(clock);
    FakeProcessSource processes;
    FakeDesktopSession desktop;
    FakeSystemMemorySource memory;
    memory.reading = SystemMemoryReading{16 * GiB, 8 * GiB, 0, 2 * GiB, MemoryPressureLevel::normal};
    MemorySampler sampler(processes, desktop, memory, scheduler, clock, SelfProcess{99999, std::nullopt});
    InMemoryDefaults defaults;
    AppNoiseProfileStore noise(defaults);
    SignificantChangeDetector changes(16 * GiB, noise);
    SustainedGrowthDetector growth(16 * GiB);
    std::vector<SignificantChange> found;
    std::vector<SustainedGrowthResult> sustained;
    changes.onSignificantChange = [&](const SignificantChange& c) { found.push_back(c); };
    growth.onSustainedGrowth = [&](const SustainedGrowthResult& r) { sustained.push_back(r); };
    sampler.onTick = [&](const std::vector<AppMemorySnapshot>& apps, const SystemMemorySnapshot& system) {
        changes.evaluate(apps, system, clock.now());
        std::unordered_map<std::string, ProcessIdentity> identities;
        for (const auto& a : apps) identities.emplace(a.identity.groupingKey, a.identity);
        growth.evaluate(sampler.footprintHistory(), identities, false, clock.now());
    };

    const Date start = clock.now();
    const int seconds = 9000, stepAt = 1800, leakFrom = 3600, leakUntil = 4500, failedReadAt = 5000;
    std::uint64_t seed = 12345;
    auto jitter = [&](std::uint64_t base, std::uint64_t amplitude) {  // base ± amplitude, deterministic
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return base - amplitude + (seed >> 33) % (2 * amplitude + 1);
    };
    auto setProcesses = [&](int t) {
        const std::uint64_t builder = t < stepAt ? GiB : GiB + 200 * MiB;
        processes.processes = {{100, "/usr/bin/editor", "editor", 1, jitter(800 * MiB, 2 * MiB)},
                               {200, "/usr/bin/mail", "mail", 1, jitter(400 * MiB, 5 * MiB)},
                               {300, "/usr/bin/browser", "browser", 1, jitter(1536 * MiB, 20 * MiB)},
                               {400, "/usr/bin/builder", "builder", 1, jitter(builder, MiB)}};
        if (t >= leakFrom) {  // half a MiB a second for fifteen minutes
            const std::uint64_t leaked = static_cast<std::uint64_t>(std::min(t, leakUntil) - leakFrom) * MiB / 2;
            processes.processes.push_back({500, "/usr/bin/leaky", "leaky", 1, 300 * MiB + leaked});
        }
        memory.reading.swapUsedBytes = t == failedReadAt ? std::nullopt : std::optional<std::uint64_t>(2 * GiB);
    };
    for (int t = 0; t <= seconds; ++t) {
        setProcesses(t);
        if (t == 0) sampler.start();
        else scheduler.advance(1.0);
    }

    std::map<std::string, int> perApp;
    for (const auto& c : found) ++perApp[c.app.groupingKey];
    for (const char* quiet : {"name:editor", "name:mail", "name:browser", "system"})
        EXPECT_EQ(perApp[quiet], 0) << quiet;
    ASSERT_EQ(perApp["name:builder"], 1);
    const auto& step = *std::find_if(found.begin(), found.end(), [](auto& c) { return c.app.id() == "name:builder"; });
    EXPECT_EQ(step.kind, SignificantChange::Kind::largeGrowth());
    EXPECT_NEAR(*step.growthStartedAt - start, stepAt, 1.0);
    EXPECT_NEAR(step.detectedAt - *step.growthStartedAt, 4.0, 1.0);
    EXPECT_NEAR(static_cast<double>(step.signedDelta), 200.0 * MiB, 3.0 * MiB);
    ASSERT_EQ(sustained.size(), 1u);
    EXPECT_EQ(sustained[0].app.groupingKey, "name:leaky");
    EXPECT_GE(sustained[0].end - sustained[0].start, 720.0);
    EXPECT_GE(sustained[0].endBytes - sustained[0].startBytes, 314572800u);
}
