#include <gtest/gtest.h>

#include "engine/sampling/MemorySampler.h"
#include "measure/MeasureThisActionController.h"
#include "tests/fakes/FakeAppPlatform.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeSources.h"
#include "tests/fakes/ManualScheduler.h"

using namespace velmora;

namespace {

constexpr std::uint64_t MB = 1000 * 1000;

AppMemorySnapshot app(const std::string& name, std::uint64_t bytes, bool front = false) {
    return {.identity = {"id." + name, "id." + name, name, {7}, false}, .footprintBytes = bytes, .isForeground = front};
}

struct Measuring {
    FakeClock clock;
    FakeMonotonicClock steady;
    MeasureThisActionController c{clock, steady};
    SystemMemorySnapshot system{.swapUsedBytes = 5 * MB};

    // Moves both clocks, then hands the controller one sample, as the pipeline does by phase.
    void sample(double seconds, std::vector<AppMemorySnapshot> apps) {
        clock.advance(seconds);
        steady.now += seconds;
        const auto phase = c.session().phase;
        if (phase == MeasurePhase::baselining) c.handleBaselineSample(apps, system);
        if (phase == MeasurePhase::recording) c.handleRecordingSample(apps, system);
        if (phase == MeasurePhase::settling) c.handleSettlingSample(apps, system);
    }
};

TEST(MeasureController, OneRunFromStartToReport) {
    Measuring r;
    r.c.start();
    EXPECT_EQ(r.c.statusMessage(), "Getting a baseline of open apps\u2026 hold still.");
    EXPECT_EQ(r.c.measuringLabel(), "All apps");
    // The wall clock set back an hour during the baseline neither holds it nor skips it.
    const std::tuple<double, double, std::uint64_t, const char*> baseline[] = {
        {0.4, 0, 1000 * MB, "Baseline\u2026 3s (watching Safari)"},
        {1.0, 0, 1010 * MB, "Baseline\u2026 2s (watching Safari)"},
        {1.0, -3600, 990 * MB, "Baseline\u2026 1s (watching Safari)"},
        {1.0, 0, 1000 * MB, "Do your action now in the app you care about, then press Done."}};
    for (auto [after, wallJump, bytes, status] : baseline) {
        r.clock.advance(wallJump);
        r.sample(after, {app("Mail", 50 * MB), app("Safari", bytes, true)});
        EXPECT_EQ(r.c.statusMessage(), status);
    }
    EXPECT_EQ(r.c.session().phase, MeasurePhase::recording);
    EXPECT_EQ(r.c.session().baselineFootprintBytes, 1000 * MB);

    r.c.start();  // ignored while a run is on
    r.sample(1.0, {app("Mail", 50 * MB), app("Safari", 1300 * MB, true)});
    EXPECT_EQ(r.c.statusMessage(), "Watching Safari: 1.21 GB (+286.1 MB vs start). Press Done when finished.");
    r.clock.advance(-10);  // set back mid-action: the action lasts 0 s, not −9 s
    r.c.done();
    EXPECT_EQ(r.c.statusMessage(), "Measuring Safari \u2014 waiting up to 1 minute to see what sticks\u2026");

    r.sample(0.5, {app("Safari", 1200 * MB)});
    EXPECT_EQ(r.c.statusMessage(), "Settling Safari\u2026 59s (or show result now).");
    r.sample(59.0, {app("Safari", 1100 * MB)});
    EXPECT_EQ(r.c.session().phase, MeasurePhase::settling);
    r.sample(0.5, {app("Safari", 1100 * MB)});
    ASSERT_TRUE(r.c.latestReport());
    const MeasureReport& report = *r.c.latestReport();
    EXPECT_EQ(report.confidence, ConfidenceLevel::high);
    EXPECT_EQ(report.actionDuration, 0.0);
    EXPECT_EQ(report.beforeBytes, 1000 * MB);  // the first sighting, not the median
    EXPECT_EQ(report.peakBytes, 1300 * MB);
    EXPECT_EQ(report.lastingImpactBytes, std::int64_t(100 * MB));
    EXPECT_EQ(report.summary, "After that action, Safari still used about +95.4 MB more than before.");
    EXPECT_EQ(r.c.statusMessage(), "Done \u2014 measured Safari.");
}

TEST(MeasureController, ConfidenceMedianAndOneAppBaseline) {
    const std::pair<std::vector<std::uint64_t>, ConfidenceLevel> cases[] = {
        {{1000, 1010, 990}, ConfidenceLevel::high},  // cv 0.0082
        {{1000, 1100, 900}, ConfidenceLevel::low},   // cv 0.082
        {{1000, 1030, 970}, ConfidenceLevel::medium},
        {{1000, 1300}, ConfidenceLevel::medium},  // Done while still baselining
    };
    for (const auto& [samples, expected] : cases) {
        Measuring r;
        r.c.start();
        for (auto f : samples) r.sample(1.0, {app("Safari", f * MB, true)});
        r.c.done();
        r.c.showResultNow();
        EXPECT_EQ(r.c.latestReport()->confidence, expected) << samples.size() << " " << samples[1];
    }

    Measuring r;
    r.c.start();
    for (auto f : {100, 300, 200, 400}) r.sample(0.5, {app("Safari", f * MB, true)});
    EXPECT_EQ(r.c.session().baselineFootprintBytes, 300 * MB);  // sorted 100 200 300 400, index 2
    r.sample(0.5, {app("Safari", 100 * MB), app("Mail", 70 * MB, true)});
    EXPECT_EQ(r.c.baselineSamples(), std::vector<std::uint64_t>{70 * MB});  // Safari's are not Mail's
    EXPECT_EQ(r.c.session().phase, MeasurePhase::baselining);
}

TEST(MeasureController, FinalTargetWithoutAFrontAppAndCancel) {
    const std::pair<std::vector<std::uint64_t>, const char*> cases[] = {
        {{50, 30}, "Done \u2014 measured app."},  // nothing grew: no app is named
        {{60, 40}, "Done \u2014 measured Mail."},  // equal growth: the earlier app
        {{55, 40}, "Done \u2014 measured Notes."},
    };
    for (const auto& [atDone, status] : cases) {
        Measuring r;
        // Start and Done read the sampler's latest sample: two background apps, none in front.
        FakeProcessSource processes;
        FakeDesktopSession desktop;
        FakeSystemMemorySource memory;
        ManualScheduler scheduler(r.clock);
        MemorySampler sampler(processes, desktop, memory, scheduler, r.clock, SelfProcess{1, "velmora"});
        auto publish = [&](std::uint64_t mail, std::uint64_t notes) {
            processes.processes = {{100, "/usr/bin/mail", "mail", 1, mail * MB}, {101, "/usr/bin/notes", "notes", 1, notes * MB}};
            desktop.apps = {{100, "id.Mail", "Mail"}, {101, "id.Notes", "Notes"}};
            sampler.tick();
        };
        r.c.sampler = &sampler;
        publish(50, 30);
        r.c.start();
        publish(atDone[0], atDone[1]);
        r.c.done();
        r.c.showResultNow();
        EXPECT_EQ(r.c.statusMessage(), status);
    }

    Measuring r;
    r.c.start();
    r.c.done();
    r.c.cancel();
    EXPECT_EQ(r.c.session().phase, MeasurePhase::idle);
    EXPECT_FALSE(r.c.latestReport());
    EXPECT_EQ(r.c.measuringLabel(), "\u2014");
    EXPECT_EQ(r.c.statusMessage(), "Cancelled. Press Start to try again.");
}

}  // namespace
