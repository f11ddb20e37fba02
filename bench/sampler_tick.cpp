// The steady-state sampler tick over the real /proc, beside a floor measured in the same run:
// one pread of each process's /proc/N/statm through descriptors kept open. 1,000 extra
// sleeping processes make the machine look like a busy desktop.
//
// The ratio comes from floor passes and ticks taken in turn, each timed in this thread's processor
// time: a burst of load elsewhere on the machine then falls on both sides alike instead of on
// whichever was measured at the time. The run's ratio is the median of its rounds' ratios.
#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/SamplingRig.h"
#include "bench/RecordingReporter.h"
#include "engine/sampling/MemorySampler.h"
#include "platform/Clock.h"
#include "platform/linux/LinuxMemorySource.h"
#include "platform/linux/ProcfsParsing.h"
#include "platform/linux/ProcfsProcessSource.h"
#include "platform/linux/X11DesktopSession.h"

using namespace velmora;

namespace {

constexpr int extraProcesses = 1000;

std::unique_ptr<Sampling> sampling;

void BM_Floor_StatmPread(benchmark::State& state) {
    const std::vector<int> fds = openStatms();
    for (auto _ : state) floorPass(fds);
    state.counters["processes"] = static_cast<double>(fds.size());
    closeAll(fds);
}

void BM_SamplerTick(benchmark::State& state) {
    for (auto _ : state) sampling->tick();
    state.counters["apps"] = static_cast<double>(sampling->sampler.appSnapshots().size());
}

// Parts of the tick, to see where its time goes.
void BM_ProcessSource(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(sampling->processes.readProcesses());
}
// The same with swap in use, when each process's status is read instead of its statm.
void BM_ProcessSourceWithSwap(benchmark::State& state) {
    ProcfsProcessSource source(ProcfsProcessSource::SwapReading::always);
    source.readProcesses();
    for (auto _ : state) benchmark::DoNotOptimize(source.readProcesses());
}
void BM_Enumerate(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(ProcessEnumerator::enumerate(sampling->processes, sampling->desktop));
}
void BM_Readdir(benchmark::State& state) {
    DIR* dir = opendir("/proc");
    for (auto _ : state) {
        rewinddir(dir);
        int n = 0;
        while (readdir(dir)) ++n;
        benchmark::DoNotOptimize(n);
    }
    closedir(dir);
}
void BM_Capture(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(SystemMemorySnapshot::capture(sampling->memory, sampling->clock));
}
BENCHMARK(BM_ProcessSource)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProcessSourceWithSwap)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Enumerate)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Readdir)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Capture)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Floor_StatmPread)->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(BM_SamplerTick)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

// `rounds` rounds of `pairs` floor passes and ticks, one of each in turn (which goes first
// alternates, so neither always finds the kernel's caches warmed by the other); a round's ratio is
// its ticks' time over its floor passes' time. The floor's descriptors are opened afresh each round
// so that it reads the processes the tick reads.
void alternatingRounds(int rounds, int pairs) {
    std::vector<double> cpuRatios, wallRatios;
    double floorSum = 0, tickSum = 0;
    for (int round = 0; round < rounds; ++round) {
        const std::vector<int> fds = openStatms();
        double floorCpu = 0, floorWall = 0, tickCpu = 0, tickWall = 0;
        const auto floorOnce = [&] {
            const auto [cpu, wall] = timeOf([&] { floorPass(fds); });
            floorCpu += cpu;
            floorWall += wall;
        };
        const auto tickOnce = [&] {
            const auto [cpu, wall] = timeOf([] { sampling->tick(); });
            tickCpu += cpu;
            tickWall += wall;
        };
        for (int pair = 0; pair < pairs; ++pair) {
            inTurn(pair, tickOnce, floorOnce);
        }
        closeAll(fds);
        cpuRatios.push_back(tickCpu / floorCpu);
        wallRatios.push_back(tickWall / floorWall);
        floorSum += floorCpu / pairs;
        tickSum += tickCpu / pairs;
    }
    const auto [lowest, highest] = std::minmax_element(cpuRatios.begin(), cpuRatios.end());
    std::printf("alternating rounds: %d of %d floor passes and ticks in turn; floor %.0f us, tick %.0f us a pass "
                "(processor time)\n",
                rounds, pairs, floorSum / rounds * 1e6, tickSum / rounds * 1e6);
    std::printf("tick / floor ratio: %.2f in processor time (median of rounds; rounds %.2f to %.2f), "
                "%.2f in wall-clock time (target <= 2.0)\n",
                median(cpuRatios), *lowest, *highest, median(wallRatios));
}

std::vector<pid_t> spawnSleepers(int count) {
    std::vector<pid_t> pids;
    const pid_t parent = getpid();
    for (int i = 0; i < count; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent) _exit(0);
            for (;;) pause();
        }
        if (pid < 0) break;
        pids.push_back(pid);
    }
    return pids;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const auto sleepers = spawnSleepers(extraProcesses);
    std::printf("extra sleeping processes: %zu\n", sleepers.size());

    sampling = std::make_unique<Sampling>();
    // Fill every history to its limit first, so the measured ticks also trim (VELMORA_BENCH_QUICK
    // skips this for a quick look at the tick alone).
    const bool quick = std::getenv("VELMORA_BENCH_QUICK") != nullptr;
    for (std::size_t i = 0; i < (quick ? 10 : MemorySampler::maxPointsPerApp + 100); ++i) sampling->tick();

    // The parts of the tick only on request (--benchmark_filter=...): the ratio below is the figure.
    if (std::getenv("VELMORA_BENCH_PARTS")) {
        RecordingReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
    }
    const char* rounds = std::getenv("VELMORA_BENCH_ROUNDS");
    alternatingRounds(rounds ? std::max(1, std::atoi(rounds)) : 40, 50);

    std::size_t points = 0, storage = 0, total = 0;
    for (const auto& [key, history] : sampling->sampler.footprintHistory()) {
        points += history.size();
        storage += history.capacity() * FootprintHistory::bytesPerPoint;
        total += history.memoryBytes();
    }
    if (points > 0)
        std::printf("history: %zu apps, %zu points, %.2f bytes a point in storage, %.2f with the history objects "
                    "(target <= 16)\n",
                    sampling->sampler.footprintHistory().size(), points, static_cast<double>(storage) / points,
                    static_cast<double>(total) / points);

    sampling.reset();
    for (const pid_t pid : sleepers) kill(pid, SIGKILL);
    for (const pid_t pid : sleepers) waitpid(pid, nullptr, 0);
    benchmark::Shutdown();
    return 0;
}
