#pragma once
// Pieces the benchmark programs share.
#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/Clock.h"
#include "platform/Scheduler.h"
#include "platform/linux/ProcfsParsing.h"

namespace velmora {

// `first` then `second` on even turns, the other way round on odd ones, so that neither side is
// always measured right after the other.
template <class First, class Second>
void inTurn(int turn, First&& first, Second&& second) {
    if (turn % 2) {
        second();
        first();
    } else {
        first();
        second();
    }
}

// Timers that never fire: a benchmark calls the polls itself.
class IdleScheduler final : public Scheduler {
public:
    TimerId scheduleRepeating(double, std::function<void()>) override { return ++last_; }
    TimerId scheduleOnce(double, std::function<void()>) override { return ++last_; }
    void cancel(TimerId) override {}
    void post(std::function<void()>) override {}

private:
    TimerId last_ = 0;
};

// A second passes per tick, so histories fill and trim as they do in a long session.
class SteppingClock final : public Clock {
public:
    Date now() const override { return now_; }
    void step() { now_ += 1.0; }

private:
    Date now_{800000000.0};
};

// The console report, also keeping each benchmark's processor and wall-clock seconds per
// iteration by function name, for ratios against a floor.
class SecondsReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs)
            if (!run.error_occurred && run.iterations > 0)
                seconds[run.run_name.function_name] = {
                    run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit),
                    run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit)};
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, std::pair<double, double>> seconds;  // processor, wall clock
};

// The statm of every process now running, opened once: the kernel's floor for a sampler pass is
// one pread of each.
inline std::vector<int> openStatms() {
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
    return fds;
}

inline void closeAll(const std::vector<int>& fds) {
    for (const int fd : fds) close(fd);
}

inline void floorPass(const std::vector<int>& fds) {
    char buffer[256];
    for (const int fd : fds) benchmark::DoNotOptimize(pread(fd, buffer, sizeof buffer, 0));
    benchmark::ClobberMemory();
}

inline double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

inline double wallSeconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Processor and wall-clock seconds of one call of `pass`.
template <class Pass>
std::pair<double, double> timeOf(Pass pass) {
    const double cpu0 = threadSeconds(), wall0 = wallSeconds();
    pass();
    return {threadSeconds() - cpu0, wallSeconds() - wall0};
}

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace velmora
