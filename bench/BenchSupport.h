#pragma once
// Pieces the benchmark programs share.
#include <benchmark/benchmark.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/Clock.h"
#include "platform/Scheduler.h"

namespace velmora {

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

}  // namespace velmora
