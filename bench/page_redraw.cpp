// One full redraw of the visible main-window page (its refresh from the application state, then
// painting every widget of it) at 900 × 560, beside a floor measured in the same run: painting
// an empty window of the same size.
#include <benchmark/benchmark.h>

#include "tests/app/AppHarness.h"
#include "app/qt/AppStateAdapter.h"
#include "bench/RecordingReporter.h"
#include "ui/main/MainWindow.h"
#include "ui/main/Page.h"
#include "ui/style/Theme.h"

#include <QApplication>
#include <QImage>

#include <cstdio>

using namespace velmora;

namespace {

AppHarness* harness = nullptr;
MainWindow* window = nullptr;

// Fifteen minutes of two apps and the system, one sample a second, and a handful of stories.
void seed(AppHarness& h) {
    h.desktop.apps = {{100, "firefox", "Firefox", false, false}, {200, "org.gnome.TextEditor", "Text Editor", false, true}};
    for (int i = 0; i < 900; ++i) {
        h.clock.advance(1);
        h.steady.now += 1;
        h.processes.processes = {{100, "/usr/lib/firefox/firefox", "firefox", 1, (1200 + (i % 37) * 9) * MiB},
                                 {200, "/usr/bin/gnome-text-editor", "gnome-text-edit", 1, 310 * MiB}};
        h.memory.reading = {16ull << 30, (7000 - (i % 23) * 11) * MiB, 0, 96 * MiB, MemoryPressureLevel::normal};
        h.state->sampler->tick();
    }
    for (int i = 0; i < 8; ++i) {
        TimelineEvent e;
        e.id = Uuid::random();
        e.timestamp = h.clock.now() - 100.0 * i;
        e.kind = i % 2 ? TimelineEventKind::largeDelta : TimelineEventKind::memoryReleased;
        e.title = "Firefox changed";
        e.immediate = ImpactWindow{(i % 2 ? 1 : -1) * 200 * std::int64_t(MiB), 10, {}, {}};
        h.state->timeline->add(e);
    }
}

void redraw(benchmark::State& state, SidebarItem item) {
    harness->state->selectedSidebar = item;
    harness->state->announceChange();
    QCoreApplication::processEvents();
    Page* page = window->page(item);
    QImage image(page->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        page->refresh();
        page->render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}

void BM_Floor_EmptyWindow(benchmark::State& state) {
    QWidget empty;
    empty.setAutoFillBackground(true);
    empty.resize(window->page(SidebarItem::timeline)->size());
    QImage image(empty.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        empty.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}

void BM_StoriesPage(benchmark::State& state) { redraw(state, SidebarItem::timeline); }
void BM_CheckOneActionPage(benchmark::State& state) { redraw(state, SidebarItem::measure); }

BENCHMARK(BM_Floor_EmptyWindow)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StoriesPage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CheckOneActionPage)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    applyDarkFusion(app);
    benchmark::Initialize(&argc, argv);
    AppHarness h;
    h.make();
    harness = &h;
    seed(h);
    AppStateAdapter adapter(*h.state, h.scheduler);
    MainWindow main(adapter);
    window = &main;
    main.resize(900, 560);
    main.show();
    QCoreApplication::processEvents();

    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double floor = reporter.timePerIteration["BM_Floor_EmptyWindow"].first;
    for (const char* page : {"BM_StoriesPage", "BM_CheckOneActionPage"})
        if (floor > 0)
            std::printf("%s: one full redraw costs %.1f x painting an empty window of the same size\n", page + 3,
                        reporter.timePerIteration[page].first / floor);
    benchmark::Shutdown();
    return 0;
}
