// One second of the application with each page open, beside the same second with the window
// minimised, after an hour of history: 30 apps, a third of them moving every second, and a
// handful of stories. A second is the sampler's pass over the fake readings, the queued flush,
// the visible page's refresh and the painting of what it marked dirty, as the event loop does
// it. The processor time a second takes is the share of one core; the pages open at their
// costliest ranges (Live Chart at 2 hours, Who's heavy at 1 hour).
// The engine headers come before Qt's: they use words Qt defines as macros.
#include "tests/app/AppHarness.h"
#include "app/qt/AppStateAdapter.h"
#include "bench/BenchSupport.h"
#include "ui/main/MainWindow.h"
#include "ui/main/Page.h"
#include "ui/main/heavy/HeavyPage.h"
#include "ui/main/livechart/LiveChartPage.h"
#include "ui/main/overview/PageParts.h"
#include "ui/style/Theme.h"

#include <QApplication>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace velmora {
namespace {

constexpr int appCount = 30;

struct Session : AppHarness {
    std::unique_ptr<AppStateAdapter> adapter;
    std::unique_ptr<MainWindow> window;
    int second = 0;

    Session() {
        make();
        for (int i = 0; i < 3600; ++i) pass();
        for (int i = 0; i < 8; ++i) {
            TimelineEvent e;
            e.id = Uuid::random();
            e.timestamp = clock.now() - 400.0 * i;
            e.kind = i % 2 ? TimelineEventKind::largeDelta : TimelineEventKind::memoryReleased;
            e.title = "App " + std::to_string(i) + " changed";
            e.relatedApp = appIdentity("/usr/bin/app" + std::to_string(i), "app" + std::to_string(i));
            e.immediate = ImpactWindow{(i % 2 ? 1 : -1) * 200 * std::int64_t(MiB), 10, {}, {}};
            state->timeline->add(e);
        }
        adapter = std::make_unique<AppStateAdapter>(*state, scheduler);
        window = std::make_unique<MainWindow>(*adapter);
        window->resize(1100, 700);
        window->show();
        QCoreApplication::processEvents();
    }

    // One sampler pass a second later: every tenth of the apps steps, a third of them wobble.
    void pass() {
        clock.advance(1);
        steady.now += 1;
        ++second;
        processes.processes.clear();
        for (int a = 0; a < appCount; ++a) {
            std::uint64_t bytes = (40 + 37 * static_cast<std::uint64_t>(a)) * MiB;
            if (a % 3 == 0) bytes += static_cast<std::uint64_t>((second * (a + 7)) % 97) * MiB;
            ProcessReading p;
            p.pid = 100 + a;
            p.executablePath = "/usr/bin/app" + std::to_string(a);
            p.shortName = "app" + std::to_string(a);
            p.parentPid = 1;
            p.footprintBytes = bytes;
            processes.processes.push_back(p);
        }
        memory.reading = {16ull << 30, (7000 - static_cast<std::uint64_t>(second % 23) * 11) * MiB, 0, 96 * MiB,
                          MemoryPressureLevel::normal};
        state->sampler->tick();
    }

    // A second as the event loop runs it: the pass, then the flush, refresh and painting.
    void runSecond() {
        pass();
        state->announceChange();
        QCoreApplication::processEvents();
    }

    void open(SidebarItem item, bool minimised) {
        window->showNormal();
        state->selectedSidebar = item;
        state->announceChange();
        QCoreApplication::processEvents();
        if (item == SidebarItem::apps) static_cast<HeavyPage*>(window->page(item))->picker()->choose(2);
        if (item == SidebarItem::liveChart) static_cast<LiveChartPage*>(window->page(item))->picker()->choose(120);
        if (minimised) window->showMinimized();
        QCoreApplication::processEvents();
    }
};

Session* session = nullptr;

void oneSecond(benchmark::State& state, SidebarItem item, bool minimised) {
    session->open(item, minimised);
    for (auto _ : state) session->runSecond();
}

struct PageCase {
    const char* name;
    SidebarItem item;
};
const std::vector<PageCase> pages = {{"Overview", SidebarItem::overview},   {"Stories", SidebarItem::timeline},
                                     {"Live Chart", SidebarItem::liveChart}, {"Who's heavy", SidebarItem::apps},
                                     {"Trends", SidebarItem::trends}};

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) {
    using namespace velmora;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    applyDarkFusion(app);
    benchmark::Initialize(&argc, argv);
    Session s;
    session = &s;
    for (const auto& page : pages)
        for (const bool minimised : {false, true})
            benchmark::RegisterBenchmark((std::string(page.name) + (minimised ? " minimised" : " open")).c_str(),
                                         [item = page.item, minimised](benchmark::State& st) {
                                             oneSecond(st, item, minimised);
                                         })
                ->Unit(benchmark::kMicrosecond)
                ->MeasureProcessCPUTime();
    SecondsReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const auto& page : pages) {
        const double open = reporter.seconds[std::string(page.name) + " open"].first * 100;
        const double minimised = reporter.seconds[std::string(page.name) + " minimised"].first * 100;
        std::printf("%s: open %.3f %% of one core, minimised %.3f %%; open costs %+.3f %%\n", page.name, open,
                    minimised, open - minimised);
    }
    benchmark::Shutdown();
    return 0;
}
