#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "engine/detection/AppNoiseProfileStore.h"
#include "engine/detection/SignificantChangeDetector.h"
#include "tests/fakes/InMemoryDefaults.h"

using namespace velmora;

namespace {

constexpr std::uint64_t GiB = 1ull << 30;
constexpr std::uint64_t MiB = 1ull << 20;
constexpr std::uint64_t B = 104857600;  // with 16 GiB installed
const Date T0{700000000.0};

ProcessIdentity app(const std::string& key, bool isSelf = false) {
    return ProcessIdentity{key, std::nullopt, key, {42}, isSelf};
}

SystemMemorySnapshot systemAt(Date t, std::uint64_t swap = 0,
                              MemoryPressureLevel pressure = MemoryPressureLevel::normal, bool failed = false) {
    SystemMemorySnapshot s;
    s.pressure = pressure;
    s.swapUsedBytes = swap;
    s.availableBytes = 4 * GiB + swap;
    s.totalPhysicalBytes = 16 * GiB;
    s.timestamp = t;
    s.readFailed = failed;
    return s;
}

class DetectorTest : public ::testing::Test {
protected:
    DetectorTest() {
        detector.onSignificantChange = [this](const SignificantChange& c) { changes.push_back(c); };
    }

    // One sample at T0 + t of the given apps (key → footprint) with a quiet system.
    void sample(double t, const std::map<std::string, std::uint64_t>& footprints) {
        std::vector<AppMemorySnapshot> apps;
        for (const auto& [key, bytes] : footprints) {
            AppMemorySnapshot s;
            s.identity = app(key, key == "self");
            s.footprintBytes = bytes;
            s.timestamp = T0 + t;
            apps.push_back(s);
        }
        detector.evaluate(apps, systemAt(T0 + t), T0 + t);
    }
    void sample(double t, std::uint64_t footprint) { sample(t, {{"app", footprint}}); }
    void system(const SystemMemorySnapshot& s) { detector.evaluate({}, s, s.timestamp); }

    InMemoryDefaults defaults;
    AppNoiseProfileStore store{defaults};
    SignificantChangeDetector detector{16 * GiB, store};
    std::vector<SignificantChange> changes;
};

}  // namespace

TEST_F(DetectorTest, FirstSightingNeverEmits) {
    sample(0, 40 * GiB);
    EXPECT_TRUE(changes.empty());
    ASSERT_TRUE(detector.pending().contains("app"));
    EXPECT_EQ(detector.pending().at("app").startFootprint, 40 * GiB);
}

TEST_F(DetectorTest, ConfirmsAfterFourSecondsOutsideNoise) {
    struct Row {
        std::uint64_t delta;
        double lasted;  // seconds since the footprint left the noise band
        bool confirmed;
    };
    const Row rows[] = {
        {B, 4.0, true}, {B, 3.9, false}, {B - 1, 10.0, false},  // below B and below 10 % of 1 GiB
        {B, 0.0, false},
    };
    for (const auto& r : rows) {
        InMemoryDefaults d;
        AppNoiseProfileStore s(d);
        SignificantChangeDetector det(16 * GiB, s);
        std::vector<SignificantChange> out;
        det.onSignificantChange = [&](const SignificantChange& c) { out.push_back(c); };
        auto at = [&](double t, std::uint64_t bytes) {
            AppMemorySnapshot a{app("app"), bytes, {}, {}, false, T0 + t, {}};
            det.evaluate({a}, systemAt(T0 + t), T0 + t);
        };
        at(0, 1 * GiB);
        at(1, 1 * GiB + r.delta);  // leaves the band here
        if (r.lasted > 0) at(1 + r.lasted, 1 * GiB + r.delta);
        ASSERT_EQ(out.size(), r.confirmed ? 1u : 0u) << r.delta << " over " << r.lasted;
        if (!r.confirmed) continue;
        const auto& c = out[0];
        EXPECT_EQ(c.kind, SignificantChange::Kind::largeGrowth());
        EXPECT_EQ(c.app, app("app"));
        EXPECT_EQ(c.detectedAt, T0 + 1 + r.lasted);
        EXPECT_EQ(c.growthStartedAt, T0 + 1);
        EXPECT_EQ(c.baselineFootprint, 1 * GiB);
        EXPECT_EQ(c.currentFootprint, 1 * GiB + r.delta);
        EXPECT_EQ(c.peakFootprint, 1 * GiB + r.delta);
        EXPECT_EQ(c.signedDelta, static_cast<std::int64_t>(r.delta));
        ASSERT_TRUE(c.system);
        EXPECT_EQ(c.system->timestamp, T0 + 1 + r.lasted);
        EXPECT_FALSE(det.pending().contains("app"));
        EXPECT_EQ(det.lastEmit().at("app"), T0 + 1 + r.lasted);
    }
}

TEST_F(DetectorTest, RelativeChangeOfSmallApp) {
    // 60 MiB on a 300 MiB app: over 10 % and over B / 2.
    sample(0, 300 * MiB);
    for (int t = 1; t <= 5; ++t) sample(t, 360 * MiB);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].signedDelta, static_cast<std::int64_t>(60 * MiB));
}

TEST_F(DetectorTest, ReleaseIsNeverReadAsHugeGrowth) {
    sample(0, 2 * GiB);
    for (int t = 1; t <= 5; ++t) sample(t, 2 * GiB - B);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].kind, SignificantChange::Kind::largeRelease());
    EXPECT_EQ(changes[0].signedDelta, -static_cast<std::int64_t>(B));
    EXPECT_EQ(changes[0].peakFootprint, 2 * GiB);
}

TEST_F(DetectorTest, CooldownOfTwentySeconds) {
    struct Row {
        double secondConfirmAfter;  // seconds after the first emit
        bool emitted;
    };
    for (const Row r : {Row{19.0, false}, Row{20.0, true}}) {
        changes.clear();
        SignificantChangeDetector det(16 * GiB, store);
        det.onSignificantChange = [&](const SignificantChange& c) { changes.push_back(c); };
        auto at = [&](double t, std::uint64_t bytes) {
            AppMemorySnapshot a{app("app"), bytes, {}, {}, false, T0 + t, {}};
            det.evaluate({a}, systemAt(T0 + t), T0 + t);
        };
        at(0, 1 * GiB);
        for (int t = 1; t <= 5; ++t) at(t, 1 * GiB + B);
        ASSERT_EQ(changes.size(), 1u);
        // The next sample watches from the new footprint; a second step follows.
        at(6, 1 * GiB + B);
        at(7, 1 * GiB + 2 * B);
        for (double t = 8; t < 5 + r.secondConfirmAfter; t += 1) at(t, 1 * GiB + 2 * B);
        EXPECT_EQ(changes.size(), 1u);
        ASSERT_TRUE(det.pending().contains("app"));
        EXPECT_EQ(det.pending().at("app").firstSeen, T0 + 6);  // kept while cooling down
        EXPECT_EQ(det.pending().at("app").startFootprint, 1 * GiB + B);
        at(5 + r.secondConfirmAfter, 1 * GiB + 2 * B);
        ASSERT_EQ(changes.size(), r.emitted ? 2u : 1u) << r.secondConfirmAfter;
        if (r.emitted) {
            EXPECT_EQ(changes[1].baselineFootprint, 1 * GiB + B);
            EXPECT_EQ(changes[1].growthStartedAt, T0 + 7);
        }
    }
}

TEST_F(DetectorTest, OneSampleSpikeAfterLongQuietIsNotConfirmed) {
    // An hour of jitter, well inside the noise band.
    for (int t = 0; t < 3600; ++t) sample(t, 1 * GiB + (t % 3) * MiB);
    sample(3600, 1 * GiB + 2 * B);  // one sample up
    EXPECT_TRUE(changes.empty());
    sample(3601, 1 * GiB);  // and back
    for (int t = 3602; t < 3610; ++t) sample(t, 1 * GiB + (t % 3) * MiB);
    EXPECT_TRUE(changes.empty());

    // A step that stays is dated from when it began, not from when watching began.
    for (int t = 3610; t <= 3614; ++t) sample(t, 1 * GiB + 2 * B);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].growthStartedAt, T0 + 3610);
    EXPECT_EQ(changes[0].baselineFootprint, 1 * GiB);
}

TEST_F(DetectorTest, CrossingTheBaselineRestartsTheClock) {
    // Out of the noise band above the baseline for a while (60 MiB on 2 GiB is not significant),
    // then a fall far below it: the release has lasted one sample and is not confirmed at once.
    sample(0, 2 * GiB);
    for (int t = 1; t <= 8; ++t) sample(t, 2 * GiB + 60 * MiB);
    EXPECT_EQ(detector.pending().at("app").leftNoiseAt, T0 + 1);
    sample(9, 2 * GiB - B);
    EXPECT_TRUE(changes.empty());
    EXPECT_EQ(detector.pending().at("app").leftNoiseAt, T0 + 9);
    // A fall that stays is confirmed against the original baseline once it has lasted.
    for (int t = 10; t <= 13; ++t) sample(t, 2 * GiB - B);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].kind, SignificantChange::Kind::largeRelease());
    EXPECT_EQ(changes[0].detectedAt, T0 + 13);
    EXPECT_EQ(changes[0].growthStartedAt, T0 + 9);
    EXPECT_EQ(changes[0].baselineFootprint, 2 * GiB);
    EXPECT_EQ(changes[0].peakFootprint, 2 * GiB + 60 * MiB);
}

TEST_F(DetectorTest, StepAgainstJitterDirectionIsConfirmed) {
    // Jitter leaves the watch pointing down; a large step up must still be confirmed.
    sample(0, 1 * GiB);
    sample(1, 1 * GiB - MiB);
    ASSERT_EQ(detector.pending().at("app").direction, PendingChange::Direction::release);
    for (int t = 2; t <= 6; ++t) sample(t, 1 * GiB + B);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].kind, SignificantChange::Kind::largeGrowth());
    EXPECT_EQ(changes[0].growthStartedAt, T0 + 2);
}

TEST_F(DetectorTest, NoiseLearningOnlyFromChangesBetweenZeroAndB) {
    struct Row {
        std::uint64_t delta;
        std::int64_t learned;
    };
    for (const Row r : {Row{0, 0}, Row{MiB, 3}, Row{B - 1, 3}, Row{B, 0}}) {
        InMemoryDefaults d;
        AppNoiseProfileStore s(d);
        SignificantChangeDetector det(16 * GiB, s);
        for (int t = 0; t <= 3; ++t) {
            AppMemorySnapshot a{app("app"), t == 0 ? 10 * GiB : 10 * GiB + r.delta, {}, {}, false, T0 + t, {}};
            det.evaluate({a}, systemAt(T0 + t), T0 + t);
        }
        const auto it = s.profiles().find("app");
        EXPECT_EQ(it == s.profiles().end() ? 0 : it->second.sampleCount, r.learned) << r.delta;
    }
}

TEST_F(DetectorTest, SelfIsSkippedIgnoredAppsAreWatched) {
    sample(0, {{"self", 1 * GiB}, {"Dock", 1 * GiB}});
    EXPECT_FALSE(detector.pending().contains("self"));
    EXPECT_TRUE(detector.pending().contains("Dock"));
}

TEST_F(DetectorTest, AppThatQuitsAndReturnsStartsAfresh) {
    sample(0, 3 * GiB);
    for (int t = 1; t <= 5; ++t) sample(t, 3 * GiB + B);
    ASSERT_EQ(changes.size(), 1u);
    sample(6, 3 * GiB + B);
    sample(7, {{"other", GiB}});  // the app quit
    EXPECT_FALSE(detector.pending().contains("app"));
    EXPECT_FALSE(detector.lastEmit().contains("app"));
    for (int t = 8; t <= 14; ++t) sample(t, 200 * MiB);  // relaunched, small: not a release
    EXPECT_EQ(changes.size(), 1u);
    EXPECT_EQ(detector.pending().at("app").startFootprint, 200 * MiB);
    // It grows 14 s after the first change: no cooldown is carried over.
    for (int t = 15; t <= 19; ++t) sample(t, 200 * MiB + B);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1].baselineFootprint, 200 * MiB);
}

TEST_F(DetectorTest, StoppedSamplerDoesNotCompareWithStaleBaseline) {
    sample(0, 1 * GiB);
    sample(1, 1 * GiB);
    // Ten minutes without samples; the app grew meanwhile.
    for (int t = 601; t <= 610; ++t) sample(t, 1 * GiB + 3 * B);
    EXPECT_TRUE(changes.empty());
    EXPECT_EQ(detector.pending().at("app").startFootprint, 1 * GiB + 3 * B);
}

TEST_F(DetectorTest, EmptySampleKeepsState) {
    sample(0, 1 * GiB);
    sample(1, 1 * GiB + B);
    sample(2, std::map<std::string, std::uint64_t>{});  // the process list could not be read
    EXPECT_TRUE(detector.pending().contains("app"));
    for (int t = 3; t <= 5; ++t) sample(t, 1 * GiB + B);
    EXPECT_EQ(changes.size(), 1u);
}

TEST_F(DetectorTest, PressureTransitions) {
    using L = MemoryPressureLevel;
    system(systemAt(T0, 0, L::normal));
    system(systemAt(T0 + 1, 0, L::warning));
    system(systemAt(T0 + 2, 0, L::warning));
    ASSERT_EQ(changes.size(), 1u);
    const auto& c = changes[0];
    EXPECT_EQ(c.kind, SignificantChange::Kind::pressureTransition(L::normal, L::warning));
    EXPECT_NE(c.kind, SignificantChange::Kind::pressureTransition(L::normal, L::critical));
    EXPECT_EQ(c.app.groupingKey, "system");
    EXPECT_EQ(c.growthStartedAt, T0);
    EXPECT_EQ(c.currentFootprint, 4 * GiB);
    EXPECT_EQ(c.baselineFootprint, 0u);
    EXPECT_EQ(c.signedDelta, 0);
}

TEST_F(DetectorTest, SwapSpikes) {
    struct Row {
        std::uint64_t from, to;
        double seconds;
        std::optional<std::uint64_t> rate;
    };
    const Row rows[] = {
        {1000000000, 1021000000, 1.0, 21000000},
        {1000000000, 1021000000, 1.1, std::nullopt},
        {1000000000, 1020971520, 1.0, 20971520},  // exactly R
        {1000000000, 1020971519, 1.0, std::nullopt},
        {1021000000, 1000000000, 1.0, std::nullopt},  // a drop is never a burst
        {1000000000, 1021000000, 0.0, std::nullopt},
    };
    for (const auto& r : rows) {
        changes.clear();
        SignificantChangeDetector det(16 * GiB, store);
        det.onSignificantChange = [&](const SignificantChange& c) { changes.push_back(c); };
        det.evaluate({}, systemAt(T0, r.from), T0);
        det.evaluate({}, systemAt(T0 + r.seconds, r.to), T0 + r.seconds);
        ASSERT_EQ(changes.size(), r.rate ? 1u : 0u) << r.from << " → " << r.to << " in " << r.seconds;
        if (!r.rate) continue;
        EXPECT_EQ(changes[0].kind, SignificantChange::Kind::swapSpike(*r.rate));
        EXPECT_EQ(changes[0].baselineFootprint, r.from);
        EXPECT_EQ(changes[0].currentFootprint, r.to);
        EXPECT_EQ(changes[0].signedDelta, static_cast<std::int64_t>(r.to - r.from));
    }
    // The same rise on every sample emits every time, and pressure comes first.
    changes.clear();
    system(systemAt(T0, 0));
    system(systemAt(T0 + 1, 30000000, MemoryPressureLevel::warning));
    system(systemAt(T0 + 2, 60000000, MemoryPressureLevel::warning));
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0].kind.which, SignificantChange::Kind::Case::pressureTransition);
    EXPECT_EQ(changes[1].kind.which, SignificantChange::Kind::Case::swapSpike);
    EXPECT_EQ(changes[2].kind.which, SignificantChange::Kind::Case::swapSpike);
}

TEST_F(DetectorTest, FailedSystemReadingIsNotABurst) {
    using L = MemoryPressureLevel;
    system(systemAt(T0, 2 * GiB, L::warning));
    system(systemAt(T0 + 1, 0, L::normal, /*failed=*/true));
    system(systemAt(T0 + 2, 2 * GiB, L::warning));
    EXPECT_TRUE(changes.empty());
    // A real rise across the failed reading is measured against the last good one.
    system(systemAt(T0 + 3, 0, L::warning, true));
    system(systemAt(T0 + 4, 2 * GiB + 50000000, L::warning));
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].kind, SignificantChange::Kind::swapSpike(25000000));
    EXPECT_EQ(changes[0].growthStartedAt, T0 + 2);
}

TEST_F(DetectorTest, SystemGapIsNotATransition) {
    using L = MemoryPressureLevel;
    system(systemAt(T0, 0, L::warning));
    system(systemAt(T0 + 3600, 4 * GiB, L::normal));  // after an hour without samples
    EXPECT_TRUE(changes.empty());
    system(systemAt(T0 + 3601, 4 * GiB, L::critical));
    EXPECT_EQ(changes.size(), 1u);
}
