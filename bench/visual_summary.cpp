// One on-device description of three 640-pixel screenshots (reading their text and summing it
// up), beside a floor measured in the same run: decoding the same three JPEGs alone.
#include <benchmark/benchmark.h>

#include <leptonica/allheaders.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/RecordingReporter.h"
#include "platform/linux/TesseractTextRecognizer.h"
#include "sensors/visual/VisualContextAnalyzer.h"

using namespace velmora;

namespace {

std::vector<ScreenshotRingBuffer::Frame> frames;

// A window-like picture: a few lines of dark text on white, as JPEG.
std::vector<std::uint8_t> screenshot(const std::vector<const char*>& lines) {
    Pix* pix = pixCreate(640, 400, 32);
    pixSetAll(pix);
    L_BMF* font = bmfCreate(nullptr, 14);
    int y = 40;
    for (const char* line : lines) {
        pixSetTextline(pix, font, line, 0x20202000, 20, y, nullptr, nullptr);
        y += 50;
    }
    l_uint8* data = nullptr;
    size_t size = 0;
    pixWriteMemJpeg(&data, &size, pix, 55, 0);
    std::vector<std::uint8_t> jpeg(data, data + size);
    lept_free(data);
    bmfDestroy(&font);
    pixDestroy(&pix);
    return jpeg;
}

void BM_Floor_DecodeThreeJpegs(benchmark::State& state) {
    for (auto _ : state) {
        for (const auto& f : frames) {
            Pix* pix = pixReadMem(f.jpegData.data(), f.jpegData.size());
            benchmark::DoNotOptimize(pix);
            pixDestroy(&pix);
        }
    }
}

void BM_LocalSummary(benchmark::State& state) {
    TesseractReader reader;
    if (!reader.ready()) return state.SkipWithError("no English text-recognition data");
    std::optional<std::string> summary;
    for (auto _ : state) {
        std::vector<std::vector<std::string>> lines;
        for (const auto& f : frames) lines.push_back(reader.readLines(f.jpegData));
        summary = VisualContextAnalyzer::localSummary(frames, lines);
        benchmark::DoNotOptimize(summary);
    }
    state.SetLabel(summary.value_or("(nothing)").substr(0, 60));
}

BENCHMARK(BM_Floor_DecodeThreeJpegs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LocalSummary)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    setMsgSeverity(L_SEVERITY_NONE);
    frames = {
        {Uuid::random(), Date{0}, screenshot({"Inbox - 3 unread", "Quarterly budget review", "www.example.com/report"}), "Mail", {}},
        {Uuid::random(), Date{1}, screenshot({"Meeting notes for Friday", "Agenda and action items"}), "Mail", {}},
        {Uuid::random(), Date{2}, screenshot({"Search results", "Open in new tab", "Downloads"}), "Browser", {}},
    };
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // Tesseract spreads its work over OpenMP threads, so processor and wall-clock time differ.
    const auto [floorCpu, floorReal] = reporter.timePerIteration["BM_Floor_DecodeThreeJpegs"];
    const auto [cpu, real] = reporter.timePerIteration["BM_LocalSummary"];
    if (floorCpu > 0 && floorReal > 0)
        std::printf("local summary per analysis: %.1f ms processor time (%.0f x the floor), %.1f ms wall-clock "
                    "(%.0f x the floor)\n",
                    cpu, cpu / floorCpu, real, real / floorReal);
    benchmark::Shutdown();
    return 0;
}
