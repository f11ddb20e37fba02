// The whole engine tick over a simulated hour: the sampler over 300 simulated apps, both change
// detectors, noise learning and the story store writing to a temporary folder. Apps come and go,
// some step up, a few leak. The mean and 99th-percentile tick of the first and the last ten
// minutes must not grow; they are shown beside a floor measured in the same run: the sampler's
// tick alone over the same apps.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <numeric>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "engine/detection/AppNoiseProfileStore.h"
#include "engine/detection/SignificantChangeDetector.h"
#include "engine/detection/SustainedGrowthDetector.h"
#include "engine/sampling/MemorySampler.h"
#include "engine/stories/TimelineStore.h"
#include "platform/Clock.h"
#include "platform/DefaultsStore.h"
#include "platform/DesktopSession.h"
#include "platform/ProcessSource.h"
#include "platform/SystemMemorySource.h"
#include "platform/linux/PosixFileSystem.h"

using namespace velmora;

namespace {

constexpr int appCount = 300;
constexpr int hourTicks = 3600;
constexpr int tenMinutes = 600;
constexpr std::uint64_t MiB = 1 << 20;

class MemoryDefaults final : public DefaultsStore {
public:
    std::optional<Json> value(const std::string& key) const override {
        const auto it = values.find(key);
        return it == values.end() ? std::nullopt : std::optional(it->second);
    }
    void setValue(const std::string& key, const Json& v) override { values[key] = v; }
    void remove(const std::string& key) override { values.erase(key); }
    std::map<std::string, Json> values;
};

// 300 apps, one process each: every one jitters; one in 25 steps up by 300 MiB for a while; three
// leak slowly; every ten seconds one app quits and a new one (a new name) takes its place.
class SimulatedApps final : public ProcessSource, public DesktopSession, public SystemMemorySource {
public:
    void advance(int tick) {
        tick_ = tick;
        if (tick % 10 == 0) ++generation_[static_cast<std::size_t>((tick / 10) % appCount)];
    }
    const std::vector<ProcessReading>& readProcesses() override {
        std::vector<ProcessReading>& out = readings_;
        out.clear();
        for (int i = 0; i < appCount; ++i) {
            const int generation = generation_[static_cast<std::size_t>(i)];
            const std::int32_t pid = 1000 + i + appCount * generation;
            const std::string name = "app-" + std::to_string(i) + "-" + std::to_string(generation);
            std::uint64_t bytes = (100 + static_cast<std::uint64_t>(i)) * MiB + jitter(i) * MiB / 4;
            if (i % 25 == 0 && (tick_ + i * 7) % 300 > 150) bytes += 300 * MiB;
            if (i < 3) bytes += static_cast<std::uint64_t>(tick_ % 1200) * MiB / 2;
            out.push_back(ProcessReading{pid, "/usr/bin/" + name, name.substr(0, 15), 1, bytes,
                                         static_cast<std::uint64_t>(generation), std::nullopt});
        }
        return out;
    }
    std::vector<RunningApplication> runningApplications() override { return {}; }
    SystemMemoryReading read() override {
        return SystemMemoryReading{16ull << 30, 6ull << 30, 0, 2ull << 30, MemoryPressureLevel::normal};
    }
    MemoryPressureLevel lastReportedPressure() const override { return MemoryPressureLevel::normal; }
    void startPressureWatcher() override {}

private:
    std::uint64_t jitter(int i) {
        seed_ = seed_ * 6364136223846793005ull + 1442695040888963407ull + static_cast<std::uint64_t>(i);
        return (seed_ >> 33) % 8;
    }
    int tick_ = 0;
    std::uint64_t seed_ = 12345;
    std::vector<ProcessReading> readings_;
    std::vector<int> generation_ = std::vector<int>(appCount, 0);
};

struct Figures {
    double mean = 0, p99 = 0;  // microseconds
};

Figures figures(std::vector<double> ticks) {
    if (ticks.empty()) return {};
    std::sort(ticks.begin(), ticks.end());
    const double mean = std::accumulate(ticks.begin(), ticks.end(), 0.0) / static_cast<double>(ticks.size());
    return {mean, ticks[std::min(ticks.size() - 1, ticks.size() * 99 / 100)]};
}

// One tick a simulated second for an hour; the time of each tick, in microseconds, into `ticks`.
void runHour(SimulatedApps& apps, SteppingClock& clock, MemorySampler& sampler, std::vector<double>& ticks) {
    ticks.clear();
    for (int t = 0; t < hourTicks; ++t) {
        apps.advance(t);
        clock.step();
        const auto start = std::chrono::steady_clock::now();
        sampler.tick();
        ticks.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
}

std::vector<double> engineTicks;
std::vector<double> floorTicks;
std::size_t storiesFiled = 0;

// The floor: the sampler alone over the same apps, through the same simulated hour.
void BM_Floor_SamplerTick(benchmark::State& state) {
    for (auto _ : state) {
        SimulatedApps apps;
        SteppingClock clock;
        IdleScheduler scheduler;
        MemorySampler sampler(apps, apps, apps, scheduler, clock, SelfProcess{1, std::nullopt});
        runHour(apps, clock, sampler, floorTicks);
    }
}

void BM_EngineHour(benchmark::State& state) {
    char folder[] = "/tmp/velmora-engine-tick-XXXXXX";
    if (!mkdtemp(folder)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    for (auto _ : state) {
        SimulatedApps apps;
        SteppingClock clock;
        IdleScheduler scheduler;
        MemoryDefaults defaults;
        PosixFileSystem files;
        MemorySampler sampler(apps, apps, apps, scheduler, clock, SelfProcess{1, std::nullopt});
        AppNoiseProfileStore noise(defaults);
        SignificantChangeDetector changes(16ull << 30, noise);
        SustainedGrowthDetector growth(16ull << 30);
        TimelineStore stories(files, std::string(folder) + "/stories.json", clock);
        const auto file = [&](const ProcessIdentity& app, std::uint64_t baseline) {
            TimelineEvent story;
            story.id = Uuid::random();
            story.timestamp = clock.now();
            story.title = app.displayName + " changed";
            story.relatedApp = app;
            story.baselineFootprintBytes = baseline;
            stories.add(story);
            ++storiesFiled;
        };
        changes.onSignificantChange = [&](const SignificantChange& c) {
            if (c.app.groupingKey != "system") file(c.app, c.baselineFootprint);
        };
        growth.onSustainedGrowth = [&](const SustainedGrowthResult& r) { file(r.app, r.startBytes); };
        std::map<std::string, ProcessIdentity> identities;
        sampler.onTick = [&](const std::vector<AppMemorySnapshot>& snapshots, const SystemMemorySnapshot& system) {
            stories.recordSystemSnapshot(system);
            stories.updateFollowUps(snapshots, clock.now());
            changes.evaluate(snapshots, system, clock.now());
            identities.clear();
            for (const auto& s : snapshots) identities.emplace(s.identity.groupingKey, s.identity);
            growth.evaluate(sampler.footprintHistory(), identities, false, clock.now());
        };
        runHour(apps, clock, sampler, engineTicks);
    }
    std::error_code error;
    std::filesystem::remove_all(folder, error);
}

BENCHMARK(BM_Floor_SamplerTick)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_EngineHour)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();

    const auto part = [](const std::vector<double>& ticks, bool last) {
        if (ticks.size() < 2 * tenMinutes) return Figures{};
        return last ? figures({ticks.end() - tenMinutes, ticks.end()}) : figures({ticks.begin(), ticks.begin() + tenMinutes});
    };
    const Figures floorFirst = part(floorTicks, false), floorLast = part(floorTicks, true);
    const Figures first = part(engineTicks, false), last = part(engineTicks, true);
    if (floorFirst.mean <= 0 || first.mean <= 0) return 0;
    std::printf("%d apps, %d simulated seconds, %zu stories filed (all runs)\n", appCount, hourTicks, storiesFiled);
    std::printf("floor (sampler alone):  first 10 min mean %.1f us, p99 %.1f us; last 10 min mean %.1f us, p99 %.1f us\n",
                floorFirst.mean, floorFirst.p99, floorLast.mean, floorLast.p99);
    std::printf("engine tick:            first 10 min mean %.1f us, p99 %.1f us; last 10 min mean %.1f us, p99 %.1f us\n",
                first.mean, first.p99, last.mean, last.p99);
    std::printf("engine / floor (mean):  first %.2f, last %.2f\n", first.mean / floorFirst.mean,
                last.mean / floorLast.mean);
    std::printf("last / first 10 min:    mean %.2f, p99 %.2f (target: no growth, <= 1.2)\n", last.mean / first.mean,
                last.p99 / first.p99);
    return 0;
}
