#pragma once
// Prints as the console does and keeps each benchmark's time per iteration, so a program can
// set its cost beside the floor it measured in the same run.
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace velmora {

class RecordingReporter : public benchmark::ConsoleReporter {
public:
    // By function name: processor time, wall-clock time.
    std::map<std::string, std::pair<double, double>> timePerIteration;

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs)
            if (!run.error_occurred && run.iterations > 0)
                timePerIteration[run.run_name.function_name] = {run.GetAdjustedCPUTime(), run.GetAdjustedRealTime()};
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace velmora
