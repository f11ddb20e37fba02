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

    // Moves both clocks, then hands the controller one sample in its current phase.
    void sample(double seconds, std::vector<AppMemorySnapshot> apps) {
        clock.advance(seconds);
        steady.now += seconds;
        switch (c.session().phase) {
            case MeasurePhase::baselining: c.handleBaselineSample(apps, system); break;
            case MeasurePhase::recording: c.handleRecordingSample(apps, system); break;
            case MeasurePhase::settling: c.handleSettlingSample(apps, system); break;
            default: break;
        }
    }
    // Start, then baseline samples of Safari (frontmost) with the given footprints one second apart,
    // plus one more to pass into recording.
    void baseline(std::vector<std::uint64_t> footprints) {
        c.start();
        for (auto f : footprints) sample(1.0, {app("Safari", f, true)});
    }
};

TEST(MeasureController, OneRunFromStartToReport) {
    Measuring r;
    r.c.start();
    EXPECT_EQ(r.c.statusMessage(), "Getting a baseline of open apps\u2026 hold still.");
    EXPECT_EQ(r.c.measuringLabel(), "All apps");
    const Date started = r.clock.now();
    // The wall clock jumping back an hour neither holds the baseline nor makes the action last less than 0.
    const std::tuple<double, std::uint64_t, const char*> baseline[] = {
        {0.4, 1000 * MB, "Baseline\u2026 3s (watching Safari)"},
        {1.0, 1010 * MB, "Baseline\u2026 2s (watching Safari)"},
        {1.0, 990 * MB, "Baseline\u2026 1s (watching Safari)"},
        {1.0, 1000 * MB, "Do your action now in the app you care about, then press Done."}};
    for (auto [after, bytes, status] : baseline) {
        if (after == 1.0 && bytes == 990 * MB) r.clock.advance(-3600);
        r.sample(after, {app("Mail", 50 * MB), app("Safari", bytes, true)});
        EXPECT_EQ(r.c.statusMessage(), status);
    }
    EXPECT_EQ(r.c.session().phase, MeasurePhase::recording);
    EXPECT_EQ(r.c.session().baselineFootprintBytes, 1000 * MB);
    EXPECT_LT(*r.c.session().startedAt, started);  // the wall clock's own date, set back

    r.c.start();  // ignored while a run is on
    r.sample(1.0, {app("Mail", 50 * MB), app("Safari", 1300 * MB, true)});
    EXPECT_EQ(r.c.statusMessage(), "Watching Safari: 1.21 GB (+286.1 MB vs start). Press Done when finished.");
    r.clock.advance(-10);  // set back mid-action
    r.c.done();
    EXPECT_EQ(r.c.statusMessage(), "Measuring Safari \u2014 waiting up to 1 minute to see what sticks\u2026");
    r.c.done();
    EXPECT_EQ(r.c.session().phase, MeasurePhase::settling);

    r.sample(0.5, {app("Safari", 1200 * MB)});
    EXPECT_EQ(r.c.statusMessage(), "Settling Safari\u2026 59s (or show result now).");
    r.sample(59.0, {app("Safari", 1100 * MB)});
    EXPECT_EQ(r.c.session().phase, MeasurePhase::settling);
    r.sample(0.5, {app("Safari", 1100 * MB)});
    ASSERT_EQ(r.c.session().phase, MeasurePhase::report);
    const MeasureReport& report = *r.c.latestReport();
    EXPECT_EQ(report.confidence, ConfidenceLevel::high);
    EXPECT_EQ(report.actionDuration, 0.0);
    EXPECT_EQ(report.beforeBytes, 1000 * MB);  // first sighting replaces the median
    EXPECT_EQ(report.peakBytes, 1300 * MB);
    EXPECT_EQ(report.lastingImpactBytes, std::int64_t(100 * MB));
    EXPECT_EQ(report.swapAddedBytes, 0);
    EXPECT_NE(report.summary.find("Safari"), std::string::npos);
    EXPECT_EQ(r.c.statusMessage(), "Done \u2014 measured Safari.");
}

TEST(MeasureController, ConfidenceFromTheBaselineSpread) {
    const std::pair<std::vector<std::uint64_t>, ConfidenceLevel> cases[] = {
        {{1000 * MB, 1010 * MB, 990 * MB}, ConfidenceLevel::high},
        {{1000 * MB, 1100 * MB, 900 * MB}, ConfidenceLevel::low},
        {{1000 * MB, 1300 * MB}, ConfidenceLevel::medium},
        {{1000 * MB, 1030 * MB, 970 * MB}, ConfidenceLevel::medium},
    };
    for (const auto& [samples, expected] : cases) {
        Measuring r;
        r.baseline(samples);  // Done with two samples still baselining: straight to settling
        r.c.done();
        r.c.showResultNow();
        ASSERT_TRUE(r.c.latestReport());
        EXPECT_EQ(r.c.latestReport()->confidence, expected) << samples.size();
    }
}

TEST(MeasureController, BaselineFollowsOneApp) {
    Measuring r;
    r.c.start();
    for (auto f : {100, 300, 200, 400}) r.sample(0.5, {app("Safari", f * MB, true)});
    EXPECT_EQ(r.c.session().baselineFootprintBytes, 300 * MB);  // sorted 100 200 300 400, index 2
    r.sample(0.5, {app("Safari", 100 * MB), app("Mail", 70 * MB, true)});
    EXPECT_EQ(r.c.baselineSamples(), std::vector<std::uint64_t>{70 * MB});
    EXPECT_EQ(r.c.session().baselineFootprintBytes, 70 * MB);
    EXPECT_EQ(r.c.session().phase, MeasurePhase::baselining);  // one sample of Mail is not a baseline
}

TEST(MeasureController, FinalTargetWithoutAFrontApp) {
    struct Case {
        const char* name;
        std::vector<AppMemorySnapshot> atDone;
        const char* finalStatus;
    };
    const Case cases[] = {
        {"nothing grew", {app("Mail", 50 * MB), app("Notes", 30 * MB)}, "Done \u2014 measured app."},
        {"equal growth, earlier wins", {app("Mail", 60 * MB), app("Notes", 40 * MB)}, "Done \u2014 measured Mail."},
        {"largest growth", {app("Mail", 55 * MB), app("Notes", 40 * MB)}, "Done \u2014 measured Notes."},
    };
    for (const auto& c : cases) {
        Measuring r;
        // Start and Done read the sampler's latest sample: two background apps, none in front.
        FakeProcessSource processes;
        FakeDesktopSession desktop;
        FakeSystemMemorySource memory;
        ManualScheduler scheduler(r.clock);
        MemorySampler sampler(processes, desktop, memory, scheduler, r.clock, SelfProcess{1, "velmora"});
        auto publish = [&](const std::vector<AppMemorySnapshot>& apps) {
            processes.processes.clear();
            desktop.apps.clear();
            for (std::size_t i = 0; i < apps.size(); ++i) {
                const std::int32_t pid = 100 + static_cast<std::int32_t>(i);
                processes.processes.push_back({pid, "/usr/bin/" + apps[i].identity.displayName,
                                               apps[i].identity.displayName, 1, apps[i].footprintBytes});
                desktop.apps.push_back({pid, apps[i].identity.bundleID, apps[i].identity.displayName});
            }
            sampler.tick();
        };
        r.c.sampler = &sampler;
        publish({app("Mail", 50 * MB), app("Notes", 30 * MB)});
        r.c.start();
        publish(c.atDone);
        r.c.done();
        r.c.showResultNow();
        EXPECT_EQ(r.c.statusMessage(), c.finalStatus) << c.name;
    }
}

TEST(MeasureController, CancelDropsTheRun) {
    Measuring r;
    r.baseline({1000 * MB, 1000 * MB, 1000 * MB});
    r.c.done();
    r.c.cancel();
    EXPECT_EQ(r.c.session().phase, MeasurePhase::idle);
    EXPECT_FALSE(r.c.latestReport());
    EXPECT_EQ(r.c.measuringLabel(), "\u2014");
    EXPECT_EQ(r.c.statusMessage(), "Cancelled. Press Start to try again.");
    r.c.showResultNow();
    EXPECT_EQ(r.c.session().phase, MeasurePhase::idle);
}

}  // namespace
