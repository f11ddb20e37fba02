#include <gtest/gtest.h>

#include <algorithm>

#include "tests/app/AppHarness.h"

using namespace velmora;

namespace {

const ProcessIdentity firefox = appIdentity("org.mozilla.firefox", "Firefox", "org.mozilla.firefox");

struct ChangeStories : ::testing::Test {
    AppHarness h;
    AppState& s = h.make();
    const Date now = h.clock.now();

    SignificantChange growth(std::int64_t delta, std::optional<MemoryPressureLevel> pressure,
                             std::optional<double> lead = 10.0) {
        SignificantChange c{.id = Uuid::random(), .app = firefox, .detectedAt = now,
                            .baselineFootprint = 1000 * MiB, .signedDelta = delta};
        c.currentFootprint = c.peakFootprint = static_cast<std::uint64_t>(std::int64_t(1000 * MiB) + delta);
        if (lead) c.growthStartedAt = now - *lead;
        c.kind = delta < 0 ? SignificantChange::Kind::largeRelease() : SignificantChange::Kind::largeGrowth();
        if (pressure) c.system = SystemMemorySnapshot{.pressure = *pressure, .timestamp = now};
        return c;
    }
    SignificantChange pressureChange(Date at) {
        return {.id = Uuid::random(), .app = ProcessIdentity::system(), .detectedAt = at,
                .kind = SignificantChange::Kind::pressureTransition(MemoryPressureLevel::normal, MemoryPressureLevel::warning),
                .system = SystemMemorySnapshot{.pressure = MemoryPressureLevel::warning, .timestamp = at}};
    }
    void page(double offset, const std::string& host) {
        s.activityBus->publishSilently({.id = Uuid::random(), .timestamp = now + offset,
                                        .kind = ActivityEventKind::titleChanged, .app = firefox,
                                        .windowTitle = "Reading " + host, .urlString = "https://" + host + "/"});
    }
    std::size_t stories() const { return s.timeline->events().size(); }
};

TEST_F(ChangeStories, ActivityWindowReachesBackFifteenSecondsBeforeGrowthAndAtLeastAMinute) {
    struct Case {
        std::optional<double> lead;
        double earliestIn, latestOut;
        double immediateDuration;
    };
    const Case cases[] = {{2.0, -60, -60.5, 2}, {100.0, -115, -115.5, 100}, {std::nullopt, -75, -75.5, 60}};
    h.sensors.visual->wanted = false;
    for (const auto& c : cases) {
        h.clock.advance(1000);  // past the cooldowns and merges of the case before
        const Date at = h.clock.now();
        for (double offset : {c.latestOut, c.earliestIn, 0.0, 10.0, 10.5})
            s.activityBus->publishSilently({.id = Uuid::random(), .timestamp = at + offset,
                                            .kind = ActivityEventKind::titleChanged, .app = firefox,
                                            .windowTitle = "Docs", .urlString = "https://docs.example/"});
        auto change = growth(300 * MiB, MemoryPressureLevel::normal, c.lead);
        change.detectedAt = at;
        if (c.lead) change.growthStartedAt = at - *c.lead;
        s.handleSignificantChange(change);
        std::vector<double> seen;
        for (const auto& signal : h.sensors.visual->signals) seen.push_back(signal.timestamp - at);
        seen.erase(std::unique(seen.begin(), seen.end()), seen.end());  // several signals per event
        EXPECT_EQ(seen, (std::vector<double>{c.earliestIn, 0.0, 10.0})) << c.earliestIn;
        EXPECT_EQ(s.timeline->events().front().immediate->duration, c.immediateDuration);
    }
}

TEST_F(ChangeStories, SmallChangesAtNormalPressureAreDropped) {
    const std::tuple<const char*, std::int64_t, std::optional<MemoryPressureLevel>, bool> cases[] = {
        {"40 MiB, normal", 40 * MiB, MemoryPressureLevel::normal, false},
        {"48 MiB less one byte, normal", 48 * MiB - 1, MemoryPressureLevel::normal, false},
        {"40 MiB release, normal", -40 * std::int64_t(MiB), MemoryPressureLevel::normal, false},
        {"40 MiB, warning", 40 * MiB, MemoryPressureLevel::warning, true},
        {"40 MiB, no snapshot", 40 * MiB, std::nullopt, true},
        {"48 MiB, normal", 48 * MiB, MemoryPressureLevel::normal, true},
    };
    for (const auto& [name, delta, pressure, filed] : cases) {
        AppHarness fresh;
        AppState& state = fresh.make();
        auto change = growth(delta, pressure);
        state.handleSignificantChange(change);
        EXPECT_EQ(state.timeline->events().size(), filed ? 1u : 0u) << name;
        EXPECT_EQ(state.sensorLog.size(), filed ? 1u : 0u) << name;
    }
}

TEST_F(ChangeStories, PressureStoriesAreNotRepeatedWithinNinetySeconds) {
    for (double at : {60, -100, 100}) s.handleSignificantChange(pressureChange(now + at));
    EXPECT_EQ(stories(), 3u);  // only the newest filed is consulted, not the one of 40 s before
    s.handleSignificantChange(pressureChange(now + 189));
    EXPECT_EQ(stories(), 3u);
    s.handleSignificantChange(pressureChange(now + 190));
    ASSERT_EQ(stories(), 4u);

    const TimelineEvent& system = s.timeline->events().front();
    EXPECT_FALSE(system.relatedApp || system.baselineFootprintBytes || system.immediate || system.isPendingWindows);
    EXPECT_EQ(system.primarySource, SensorSource::systemPressure);
    EXPECT_FALSE(s.timeline->hasPendingFollowUp(system.id));
    EXPECT_EQ(s.dailyStats->days().front().storyCount, 4);
}

TEST_F(ChangeStories, FollowUpGoesToTheStoryTheMergeKept) {
    TimelineEvent older{.id = Uuid::random(), .timestamp = now - 100, .kind = TimelineEventKind::sustainedGrowth,
                        .title = "Firefox kept growing", .relatedApp = firefox};
    s.timeline->add(older);
    page(-5, "docs.example");
    s.handleSignificantChange(growth(300 * MiB, MemoryPressureLevel::normal));
    ASSERT_EQ(stories(), 1u);
    EXPECT_TRUE(s.timeline->hasPendingFollowUp(older.id));
    EXPECT_EQ(s.sensorLog.front().source, SensorSource::significantChange);
    EXPECT_EQ(s.sensorLog.front().detail, "Accessibility");
}

TEST_F(ChangeStories, WeakStoriesLookAtTheScreenOnlyWhenAllowed) {
    s.handleSignificantChange(growth(300 * MiB, MemoryPressureLevel::normal));  // nothing explains it
    EXPECT_TRUE(h.sensors.visual->looks.empty());  // screenshots off

    h.clock.advance(600);
    s.settings->setPermission(&PermissionState::screenshotsEnabled, true);
    auto change = growth(300 * MiB, MemoryPressureLevel::normal);
    change.detectedAt = h.clock.now();
    s.handleSignificantChange(change);
    EXPECT_TRUE(h.sensors.visual->looks.empty());  // not granted

    h.clock.advance(600);
    s.systemPermissions.screenRecordingGranted = true;
    change.detectedAt = h.clock.now();
    s.handleSignificantChange(change);
    ASSERT_EQ(h.sensors.visual->looks.size(), 1u);
    EXPECT_TRUE(h.sensors.visual->looks[0].second);  // forced: the attribution asked for it

    const TimelineEvent before = s.timeline->events().front();
    EXPECT_EQ(before.confidence, ConfidenceLevel::low);
    h.sensors.visual->finish("A spreadsheet named Budget");
    const TimelineEvent after = s.timeline->events().front();
    EXPECT_EQ(after.explanation, before.explanation + " On screen around then: A spreadsheet named Budget");
    EXPECT_EQ(after.confidence, ConfidenceLevel::medium);

    // A follow-up rewrites the text from its new measurement; the sentence stays.
    std::vector<AppMemorySnapshot> apps{{.identity = firefox, .footprintBytes = 1250 * MiB}};
    s.timeline->updateFollowUps(apps, h.clock.now() + 9);
    EXPECT_NE(s.timeline->events().front().explanation.find(" On screen around then: A spreadsheet named Budget"),
              std::string::npos);
}

}  // namespace
