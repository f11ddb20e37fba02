// The per-second cost of the chart pages beside a floor measured in the same run:
// - the live chart: six apps with two hours of history (7,200 points each) thinned and handed
//   to their lines with replace(), against copying those 43,200 points once;
// - "Who's heavy": 300 apps, the 25 heaviest each with an hour of history reduced to a
//   600-pixel line and badge, against copying those 25 × 3,600 values once.
#include "bench/BenchSupport.h"

#include <QApplication>
#include <QLineSeries>
#include <cstdio>
#include <string>
#include <vector>

#include "ui/main/heavy/HeavyRules.h"
#include "ui/main/livechart/LiveChartRules.h"

namespace velmora {
namespace {

struct Fixture {
    std::vector<AppMemorySnapshot> apps;
    FootprintHistoryMap history;
    Date now{800007200.0};

    Fixture(int appCount, int points) {
        for (int a = 0; a < appCount; ++a) {
            AppMemorySnapshot s;
            s.identity.groupingKey = "app.key." + std::to_string(a);
            s.identity.displayName = "App " + std::to_string(a);
            s.footprintBytes = static_cast<std::uint64_t>(appCount - a) << 24;
            apps.push_back(s);
            auto& h = history[s.identity.groupingKey];
            for (int p = 0; p < points; ++p)
                h.append(now - (points - 1 - p), s.footprintBytes + static_cast<std::uint64_t>((p * 7919) % 4096) * 1024);
        }
    }
};

void LiveChartFloor(benchmark::State& state) {
    Fixture f(6, 7200);
    std::vector<FootprintHistory::Point> copy;
    for (auto _ : state) {
        for (int a = 0; a < 6; ++a) {
            const auto& h = f.history[f.apps[static_cast<std::size_t>(a)].identity.groupingKey];
            copy.assign(h.begin(), h.end());
            benchmark::DoNotOptimize(copy.data());
        }
    }
}

void LiveChartTick(benchmark::State& state) {
    Fixture f(6, 7200);
    std::vector<QLineSeries*> lines;
    for (int a = 0; a < 6; ++a) lines.push_back(new QLineSeries);
    QList<QPointF> buffer;
    for (auto _ : state) {
        const auto series = makeSeries(f.apps, f.history, f.now - 7200.0, 6, 240);
        for (std::size_t i = 0; i < series.size(); ++i) {
            buffer.clear();
            for (const auto& p : series[i].points)
                buffer.append(QPointF(p.date.unixSeconds(), static_cast<double>(p.bytes) / 1073741824.0));
            lines[i]->replace(buffer);
        }
    }
    for (auto* l : lines) delete l;
}

void HeavyFloor(benchmark::State& state) {
    Fixture f(300, 3600);
    std::vector<std::uint64_t> copy;
    for (auto _ : state) {
        for (int a = 0; a < 25; ++a) {
            copy.clear();
            for (const auto p : f.history[f.apps[static_cast<std::size_t>(a)].identity.groupingKey])
                copy.push_back(p.footprintBytes);
            benchmark::DoNotOptimize(copy.data());
        }
    }
}

void HeavyTick(benchmark::State& state) {
    Fixture f(300, 3600);
    for (auto _ : state) {
        for (const auto& app : heavyApps(f.apps)) {
            const auto values = sparklineValues(f.history, app.identity.groupingKey, f.now - 3600.0);
            benchmark::DoNotOptimize(deltaBadge(values));
            benchmark::DoNotOptimize(sparklineLine(values, 600, 32).data());
        }
    }
}

}  // namespace
}  // namespace velmora

BENCHMARK(velmora::LiveChartFloor)->Unit(benchmark::kMicrosecond);
BENCHMARK(velmora::LiveChartTick)->Unit(benchmark::kMicrosecond);
BENCHMARK(velmora::HeavyFloor)->Unit(benchmark::kMicrosecond);
BENCHMARK(velmora::HeavyTick)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    velmora::SecondsReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto ratio = [&](const char* tick, const char* floor) {
        const auto t = reporter.seconds[tick].first, f = reporter.seconds[floor].first;
        return f > 0 ? t / f : 0.0;
    };
    std::printf("live chart tick (6 x 7,200 points) / copy floor: %.2f\n",
                ratio("velmora::LiveChartTick", "velmora::LiveChartFloor"));
    std::printf("who's heavy tick (300 apps, 1 hour) / copy floor: %.2f\n",
                ratio("velmora::HeavyTick", "velmora::HeavyFloor"));
    return 0;
}
