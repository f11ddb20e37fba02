#include <gtest/gtest.h>

#include <limits>
#include <tuple>

#include "engine/sampling/MemorySampler.h"
#include "measure/MeasureReport.h"
#include "measure/MeasureThisActionController.h"
#include "tests/fakes/FakeAppPlatform.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeSources.h"
#include "tests/fakes/ManualScheduler.h"

using namespace velmora;

namespace {

using P = MemoryPressureLevel;
using Session = MeasurementSession;
constexpr std::uint64_t MB = 1000 * 1000;

AppMemorySnapshot app(const std::string& name, std::uint64_t bytes, bool front = false) {
    return {.identity = {"id." + name, "id." + name, name, {7}, false}, .footprintBytes = bytes, .isForeground = front};
}

struct Measuring {
    FakeClock clock;
    FakeMonotonicClock steady;
    MeasureThisActionController c{clock, steady};

    // Moves both clocks, then hands the controller one sample, as the pipeline does by phase.
    void sample(double seconds, std::vector<AppMemorySnapshot> apps) {
        clock.advance(seconds);
        steady.now += seconds;
        const SystemMemorySnapshot system{.swapUsedBytes = 5 * MB};
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
        desktop.apps = {{100, "id.Mail", "Mail"}, {101, "id.Notes", "Notes"}};
        auto publish = [&](std::uint64_t mail, std::uint64_t notes) {
            processes.processes = {{100, "/usr/bin/mail", "mail", 1, mail * MB}, {101, "/usr/bin/notes", "notes", 1, notes * MB}};
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

SystemMemorySnapshot snapshot(P pressure, std::uint64_t swapUsed) { return {pressure, swapUsed, 11, 22, 33, Date{100}}; }

const Session kFull{Uuid::random(), MeasurePhase::report, Date{103}, Date{110.5}, Date{170},
                    ProcessIdentity{"org.example.Editor", "org.example.Editor", "Editor", {10, 12}, false},
                    500'000'000, 900'000'000, 450'000'000,
                    snapshot(P::normal, 1'000), snapshot(P::critical, 9'000), snapshot(P::warning, 4'000)};

// Each record's JSON: absent fields left out, unknown keys ignored, a wrong value refused.
TEST(MeasureJson, LeavesAbsentFieldsOutAndDecodesStrictly) {
    const Session started = Session::started(Date{50});
    EXPECT_EQ(started.toJson(), (Json{{"id", started.id.toString()}, {"phase", "baselining"}, {"startedAt", 50.0}}));
    const auto bare = MeasureReport::make(Session::fresh(), ConfidenceLevel::high, "Nothing.", Date{42});
    EXPECT_EQ(bare.toJson(),
              (Json{{"id", bare.id.toString()}, {"createdAt", 42.0}, {"confidence", "high"}, {"summary", "Nothing."}}));
    EXPECT_EQ(MeasureReport::fromJson(bare.toJson()), bare);

    Json session = kFull.toJson(), report = MeasureReport::make(kFull, ConfidenceLevel::medium, "x", Date{1}).toJson();
    EXPECT_EQ(session.size(), 12u);
    EXPECT_EQ(report.size(), 13u);
    session["somethingElse"] = 5;
    EXPECT_EQ(Session::fromJson(session), kFull);
    const std::tuple<bool, const char*, Json> wrong[] = {
        {true, "phase", "Settling"},      {true, "id", nullptr},           {true, "baselineFootprintBytes", -1},
        {false, "id", nullptr},           {false, "createdAt", nullptr},   {false, "confidence", "Medium"},
        {false, "summary", nullptr},      {false, "pressureBefore", "tight"}, {false, "beforeBytes", -5},
        {false, "swapAddedBytes", "12"},
    };
    for (const auto& [isSession, key, value] : wrong) {
        Json j = isSession ? session : report;
        j[key] = value;
        EXPECT_THROW(isSession ? (void)Session::fromJson(j) : (void)MeasureReport::fromJson(j), DecodeError) << key;
    }
}

TEST(MeasureReportTest, BuiltFromSessions) {
    using I = std::optional<std::int64_t>;
    using O = std::optional<P>;
    const std::tuple<void (*)(Session&), I, O, O, I> cases[] = {  // change; lasting, before, after, swap added
        {[](Session&) {}, -50'000'000, P::normal, P::warning, 3'000},
        {[](Session& s) { s.settledFootprintBytes.reset(); }, {}, P::normal, P::warning, 3'000},
        {[](Session& s) { s.baselineFootprintBytes.reset(); }, {}, P::normal, P::warning, 3'000},
        {[](Session& s) { s.settledSystem.reset(); }, -50'000'000, P::normal, P::critical, 8'000},  // peak stands in
        {[](Session& s) { s.baselineSystem.reset(); }, -50'000'000, {}, P::warning, {}},
        {[](Session& s) { s.settledSystem->swapUsedBytes = 0; }, -50'000'000, P::normal, P::warning, -1'000},
        {[](Session& s) { s.baselineFootprintBytes = std::numeric_limits<std::uint64_t>::max(); },
         -std::numeric_limits<std::int64_t>::max(), P::normal, P::warning, 3'000},
    };
    for (const auto& [change, lasting, before, after, swapAdded] : cases) {
        auto session = kFull;
        change(session);
        const auto r = MeasureReport::make(session, ConfidenceLevel::medium, "Done.", Date{200});
        EXPECT_EQ(r, (MeasureReport{session.id, Date{200}, session.targetApp, 7.5, session.baselineFootprintBytes,
                                    session.peakFootprintBytes, session.settledFootprintBytes, lasting, before, after,
                                    swapAdded, ConfidenceLevel::medium, "Done."}));
        EXPECT_EQ(MeasureReport::fromJson(Json::parse(r.toJson().dump())), r);
    }
}

}  // namespace
