// The steady-state sampler tick over the real /proc, beside a floor measured in the same run:
// one pread of each process's /proc/N/statm through descriptors kept open. 1,000 extra
// sleeping processes make the machine look like a busy desktop.
#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
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

struct Sampling {
    ProcfsProcessSource processes;
    X11DesktopSession desktop{std::string()};
    LinuxMemorySource memory;
    SteppingClock clock;
    IdleScheduler scheduler;
    MemorySampler sampler{processes, desktop, memory, scheduler, clock, SelfProcess{getpid(), std::nullopt}};

    void tick() {
        clock.step();
        sampler.tick();
    }
};

std::unique_ptr<Sampling> sampling;

void BM_Floor_StatmPread(benchmark::State& state) {
    std::vector<int> fds;
    if (DIR* dir = opendir("/proc")) {
        while (const dirent* d = readdir(dir)) {
            if (!procfs::parsePid(d->d_name)) continue;
            const std::string path = std::string("/proc/") + d->d_name + "/statm";
            const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd >= 0) fds.push_back(fd);
        }
        closedir(dir);
    }
    char buffer[256];
    for (auto _ : state) {
        for (const int fd : fds) benchmark::DoNotOptimize(pread(fd, buffer, sizeof buffer, 0));
        benchmark::ClobberMemory();
    }
    state.counters["processes"] = static_cast<double>(fds.size());
    for (const int fd : fds) close(fd);
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

    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const auto [floorCpu, floorReal] = reporter.timePerIteration["BM_Floor_StatmPread"];
    const auto [tickCpu, tickReal] = reporter.timePerIteration["BM_SamplerTick"];
    if (floorCpu > 0 && floorReal > 0)
        std::printf("tick / floor ratio: %.2f in processor time, %.2f in wall-clock time (target <= 2.0)\n",
                    tickCpu / floorCpu, tickReal / floorReal);

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
