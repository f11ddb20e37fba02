// A request to the extension bridge whose 256 KiB header block trickles in 64-byte chunks:
// the work per chunk must stay flat, so trickling costs about what one whole append does (the
// header block is read once), against a floor of copying the same chunks into a buffer.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "sensors/bridge/BridgeRequest.h"

using namespace velmora;

namespace {

constexpr std::size_t kChunk = 64;
std::map<std::string, double> cpuPerIteration;

std::string slowRequest() {
    std::string request = "POST /tab HTTP/1.1\r\nContent-Length: 2\r\nX-Pad: ";
    request.append(BridgeRequest::requestCap - request.size() - 6, 'p');
    return request + "\r\n\r\n{}";
}

void BM_Floor_AppendChunks(benchmark::State& state) {
    const std::string request = slowRequest();
    for (auto _ : state) {
        std::string buffer;
        for (std::size_t pos = 0; pos < request.size(); pos += kChunk) buffer.append(request, pos, kChunk);
        benchmark::DoNotOptimize(buffer.data());
    }
}

void BM_BridgeRequestChunks(benchmark::State& state) {
    const std::string request = slowRequest();
    for (auto _ : state) {
        BridgeRequest parsed;
        for (std::size_t pos = 0; pos < request.size(); pos += kChunk)
            parsed.append(std::string_view(request).substr(pos, kChunk));
        if (parsed.state() != BridgeRequest::State::complete) state.SkipWithError("request not complete");
        benchmark::DoNotOptimize(parsed.payload().data());
    }
}

// The same request at once: the header block is read once either way.
void BM_BridgeRequestWhole(benchmark::State& state) {
    const std::string request = slowRequest();
    for (auto _ : state) {
        BridgeRequest parsed;
        parsed.append(request);
        benchmark::DoNotOptimize(parsed.payload().data());
    }
}

BENCHMARK(BM_Floor_AppendChunks)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BridgeRequestChunks)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BridgeRequestWhole)->Unit(benchmark::kMicrosecond);

class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs)
            if (!run.error_occurred && run.iterations > 0) cpuPerIteration[run.run_name.function_name] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double floor = cpuPerIteration["BM_Floor_AppendChunks"];
    if (floor > 0)
        std::printf("trickled request / floor ratio: %.2f, whole request / floor: %.2f, in processor time\n",
                    cpuPerIteration["BM_BridgeRequestChunks"] / floor, cpuPerIteration["BM_BridgeRequestWhole"] / floor);
    benchmark::Shutdown();
    return 0;
}
