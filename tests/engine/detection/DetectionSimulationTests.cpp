#include <gtest/gtest.h>

#include <cstdint>
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

namespace {

constexpr std::uint64_t GiB = 1ull << 30;
constexpr std::uint64_t MiB = 1ull << 20;

// Deterministic jitter in [-amplitude, +amplitude].
struct Jitter {
    std::uint64_t state = 12345;
    std::int64_t next(std::int64_t amplitude) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::int64_t>((state >> 33) % static_cast<std::uint64_t>(2 * amplitude + 1)) - amplitude;
    }
};

ProcessReading process(std::int32_t pid, const std::string& name, std::uint64_t bytes) {
    return ProcessReading{pid, "/usr/bin/" + name, name, 1, bytes};
}

std::uint64_t plus(std::uint64_t base, std::int64_t delta) {
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(base) + delta);
}

}  // namespace

// Two and a half hours of once-a-second samples through the real sampler: jittery apps stay
// quiet, one step is reported once, and one slow leak is reported once as sustained growth.
TEST(DetectionSimulationTest, HoursOfSamples) {
    FakeClock clock;
    ManualScheduler scheduler(clock);
    FakeProcessSource processes;
    FakeDesktopSession desktop;
    FakeSystemMemorySource memory;
    memory.reading = SystemMemoryReading{16 * GiB, 8 * GiB, 0, 2 * GiB, MemoryPressureLevel::normal};
    MemorySampler sampler(processes, desktop, memory, scheduler, clock, SelfProcess{99999, std::nullopt});

    InMemoryDefaults defaults;
    AppNoiseProfileStore noise(defaults);
    noise.load();
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
    const int seconds = 9000;
    const int stepAt = 1800, leakFrom = 3600, leakUntil = 4500, failedReadAt = 5000;
    Jitter jitter;
    auto setProcesses = [&](int t) {
        processes.processes = {
            process(100, "editor", plus(800 * MiB, jitter.next(2 * MiB))),
            process(200, "mail", plus(400 * MiB, jitter.next(5 * MiB))),
            process(300, "browser", plus(1536 * MiB, jitter.next(20 * MiB))),
            process(400, "builder", plus(t < stepAt ? GiB : GiB + 200 * MiB, jitter.next(MiB))),
        };
        if (t >= leakFrom) {
            const int leaked = std::min(t, leakUntil) - leakFrom;  // half a MiB a second
            processes.processes.push_back(process(500, "leaky", 300 * MiB + static_cast<std::uint64_t>(leaked) * MiB / 2));
        }
        memory.reading.swapUsedBytes = t == failedReadAt ? std::nullopt : std::optional<std::uint64_t>(2 * GiB);
    };

    setProcesses(0);
    sampler.start();
    for (int t = 1; t <= seconds; ++t) {
        setProcesses(t);
        scheduler.advance(1.0);
    }
    ASSERT_GE(sampler.footprintHistory().at("name:editor").size(), 7000u);

    std::map<std::string, int> perApp;
    for (const auto& c : found) ++perApp[c.app.groupingKey];
    EXPECT_EQ(perApp["name:editor"], 0);
    EXPECT_EQ(perApp["name:mail"], 0);
    EXPECT_EQ(perApp["name:browser"], 0);
    EXPECT_EQ(perApp["system"], 0);  // the failed swap read is not a burst
    ASSERT_EQ(perApp["name:builder"], 1);
    for (const auto& c : found) {
        if (c.app.groupingKey != "name:builder") continue;
        EXPECT_EQ(c.kind, SignificantChange::Kind::largeGrowth());
        ASSERT_TRUE(c.growthStartedAt);
        EXPECT_NEAR(*c.growthStartedAt - start, stepAt, 1.0);
        EXPECT_NEAR(c.detectedAt - *c.growthStartedAt, 4.0, 1.0);
        EXPECT_NEAR(static_cast<double>(c.signedDelta), 200.0 * MiB, 3.0 * MiB);
    }

    ASSERT_EQ(sustained.size(), 1u);
    EXPECT_EQ(sustained[0].app.groupingKey, "name:leaky");
    EXPECT_GE(sustained[0].end - sustained[0].start, 720.0);
    EXPECT_GE(sustained[0].endBytes - sustained[0].startBytes, 314572800u);
    // Noise was learned and written lazily, not once per app per second.
    EXPECT_GT(noise.profiles().at("name:editor").sampleCount, 1000);
    EXPECT_LE(defaults.writes, seconds * 5 / 30 + 5);
}
