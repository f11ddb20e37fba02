// One second of the Stories page with 500 stories, beside a floor measured in the same run (the
// list model's row count): an idle tick (the state announced a change, the stories did not), and a
// tick after the store announced its stories again unchanged (every story compared, no row moves).
// The engine headers come before Qt's: they use words Qt defines as macros.
#include "tests/app/AppHarness.h"
#include "bench/BenchSupport.h"

#include <QApplication>
#include <QListView>
#include <cstdio>
#include <memory>
#include <string>

#include "ui/main/stories/StoriesPage.h"

namespace velmora {
namespace {

struct Page : AppHarness {
    std::unique_ptr<StoriesPage> page;
    QAbstractItemModel* model = nullptr;
    Page() {
        make();
        for (int i = 0; i < 500; ++i) {
            TimelineEvent s;
            s.id = Uuid::random();
            s.timestamp = Date{800000000.0 + i};
            s.kind = TimelineEventKind::largeDelta;
            s.title = "App " + std::to_string(i) + " grew";
            s.explanation = "You opened a page in App " + std::to_string(i);
            s.relatedApp = appIdentity("key." + std::to_string(i), "App " + std::to_string(i));
            s.settled = ImpactWindow{(60 + i) * 1'000'000, 60, std::nullopt, 900 * MiB};
            state->timeline->add(s);
        }
        page = std::make_unique<StoriesPage>(*state);
        page->resize(1000, 700);
        page->show();
        page->refresh();
        model = page->findChild<QListView*>("storyList")->model();
        state->selectedEventID = state->timeline->events()[250].id;
    }
};

// Built on first use and gone before the application object.
std::unique_ptr<Page> page;
Page& fixture() {
    if (!page) page = std::make_unique<Page>();
    return *page;
}

void RowCountFloor(benchmark::State& state) {
    auto& f = fixture();
    for (auto _ : state) benchmark::DoNotOptimize(f.model->rowCount());
}

void IdleTick(benchmark::State& state) {
    auto& f = fixture();
    for (auto _ : state) f.page->refresh();
    if (f.model->rowCount() != 500) state.SkipWithError("the list lost rows");
}

void StoriesAnnouncedTick(benchmark::State& state) {
    auto& f = fixture();
    for (auto _ : state) {
        f.page->markStoriesStale();
        f.page->refresh();
    }
    if (f.model->rowCount() != 500) state.SkipWithError("the list lost rows");
}

}  // namespace
}  // namespace velmora

BENCHMARK(velmora::RowCountFloor);
BENCHMARK(velmora::IdleTick)->Unit(benchmark::kMicrosecond);
BENCHMARK(velmora::StoriesAnnouncedTick)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    velmora::SecondsReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto ratio = [&](const char* tick) {
        const auto t = reporter.seconds[tick].first, f = reporter.seconds["velmora::RowCountFloor"].first;
        return f > 0 ? t / f : 0.0;
    };
    std::printf("stories idle tick (500 stories) / row count floor: %.0f\n", ratio("velmora::IdleTick"));
    std::printf("stories tick, stories announced unchanged / row count floor: %.0f\n",
                ratio("velmora::StoriesAnnouncedTick"));
    velmora::page.reset();
    return 0;
}
