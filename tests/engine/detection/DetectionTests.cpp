#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/detection/AppNoiseProfileStore.h"
#include "engine/detection/SignificantChangeDetector.h"
#include "engine/detection/SustainedGrowthDetector.h"
#include "engine/sampling/MemorySampler.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeSources.h"
#include "tests/fakes/InMemoryDefaults.h"
#include "tests/fakes/ManualScheduler.h"

using namespace velmora;

namespace {

constexpr std::uint64_t G = 1ull << 30, M = 1ull << 20, B = 104857600, S = 3 * B;  // with 16 GiB installed
constexpr std::uint64_t gone = ~0ull, unread = ~0ull - 1;  // the app is missing; no process list
const Date T0{700000000.0};
using Level = MemoryPressureLevel;
using Kind = SignificantChange::Kind;
using Points = std::vector<std::pair<Date, std::uint64_t>>;
using Identities = std::map<std::string, ProcessIdentity>;

struct Sys { double t; std::uint64_t swap; Level pressure = Level::normal; bool failed = false; };

struct Harness {
    InMemoryDefaults defaults;
    AppNoiseProfileStore store{defaults};
    SignificantChangeDetector detector{16 * G, store};
    std::vector<SignificantChange> changes;
    Harness() { detector.onSignificantChange = [this](const SignificantChange& c) { changes.push_back(c); }; }

    static SystemMemorySnapshot system(const Sys& s) {
        return SystemMemorySnapshot{s.pressure, s.swap, 0, 4 * G + s.swap, 16 * G, T0 + s.t, s.failed};
    }
    void sample(double t, std::uint64_t bytes, const std::string& key = "app") {
        const auto app = [&](const std::string& k, std::uint64_t b) {
            return AppMemorySnapshot{ProcessIdentity{k, {}, k, {1}, k == "self"}, b, {}, {}, false, T0 + t, {}};
        };
        std::vector<AppMemorySnapshot> apps{app("other", G), app(key, bytes)};
        apps.resize(bytes == unread ? 0 : bytes == gone ? 1 : 2);
        detector.evaluate(apps, system({t, 0}), T0 + t);
    }
};

// `n` points `step` seconds apart ending at `end`, rising evenly from `from` to `to`.
Points ramp(std::uint64_t n, double step, std::uint64_t from, std::uint64_t to, Date end = T0) {
    Points out;
    for (auto k = n; k-- > 0;)  // k steps before the end
        out.emplace_back(end - step * double(k), to - (to - from) * k / std::max<std::uint64_t>(n - 1, 1));
    return out;
}
Points join(Points a, const Points& b) { a.insert(a.end(), b.begin(), b.end()); return a; }
const ProcessIdentity app{"app", std::nullopt, "App", {7}, false};

}  // namespace

TEST(NoiseTest, ThresholdsScaleWithInstalledMemory) {
    struct Row { AdaptiveThresholds t; std::uint64_t b, sustained, rate; };
    const Row rows[] = {{{0}, 50331648, 150994944, 8388608},          {{4 * G}, 50331648, 150994944, 10485760},
                        {{8 * G}, 52428800, 157286400, 14829104},   {{16 * G}, 104857600, 314572800, 20971520},
                        {{32 * G}, 209715200, 629145600, 29658208}, {{64 * G}, 419430400, 1258291200, 41943040}};
    for (const auto& [t, b, sustained, rate] : rows)
        EXPECT_EQ(std::tuple(t.significantDeltaBytes(), t.sustainedGrowthBytes(), t.sizeScaledThreshold()),
                  std::tuple(b, sustained, rate)) << t.totalPhysicalBytes;
    // Byte arithmetic clamps instead of wrapping; doubles out of range never become garbage.
    using I = std::numeric_limits<std::int64_t>;
    EXPECT_EQ(std::tuple(absoluteDifference(10, 300), signedDifference(10, 300), signedDifference(0, ~0ull),
                         signedDifference(~0ull, 0), truncatedBytes(0x1p64), truncatedBytes(NAN) + truncatedBytes(-5)),
              std::tuple(290u, -290, I::min(), I::max(), ~0ull, 0u));
}

TEST(NoiseTest, AbsoluteAndRelativeSignificance) {
    const NoiseFilter f{AdaptiveThresholds{16 * G}};
    struct Row { std::uint64_t delta, baseline; bool absolute, relative; };
    const Row rows[] = {{B - 1, 0, false, false}, {B, 0, true, true}, {B, 5000 * M, true, false},
                        {B / 2, 524288000, false, true},  // exactly 10 % and exactly B / 2
                        {B / 2 - 1, 100, false, false}, {B / 2, 524288010, false, false}};
    for (const auto& r : rows)
        EXPECT_EQ(std::pair(f.isSignificantDelta(r.delta), f.isSignificantRelative(r.delta, r.baseline)),
                  std::pair(r.absolute, r.relative)) << r.delta << " / " << r.baseline;
}

TEST(NoiseTest, IgnoreList) {
    struct Row { std::string name; std::optional<std::string> bundle; bool noise; };
    const Row rows[] = {
        {"Dock", {}, true}, {"Docker", {}, false}, {"bird", {}, true}, {"secd helper", {}, true}, {"Xorg", {}, true},
        {"Thunderbird", "org.mozilla.Thunderbird", false},  // "bird" is a whole name
        {"Safari Web Content", {}, true}, {"Safari Graphics and Media", {}, true}, {"Apple Push Agent", {}, true},
        {"Secret Agent", {}, false}, {"Dockyard", "com.apple.dockyard", true}, {"Shell", "org.gnome.Shell", true},
        {"Tool", "com.apple.SafariHelper", false}, {"Tool", "com.apple.Safari.WebKit.XPC", true},
        {"Tool", "com.example.XPCHelper", false}, {"systemd-journald", {}, true}, {"systemdgenie", {}, false},
        {"xdg-desktop-por", {}, true},  // the kernel's 15-byte cut of xdg-desktop-portal
        {"xdg-desktop-port", {}, false}, {"", {}, false}};
    for (const auto& r : rows)
        EXPECT_EQ(NoiseFilter::isNoise(ProcessIdentity{"k", r.bundle, r.name, {1}, false}), r.noise) << r.name;
    EXPECT_TRUE(NoiseFilter::isNoise(ProcessIdentity{"k", std::nullopt, "Anything", {}, true}));
}

TEST(NoiseTest, ProfilesLearnJudgeSaveAndLoad) {
    Harness h;
    for (std::uint64_t x : {2000000u, 4000000u, 6000000u}) h.store.record("app", x, T0);
    using P = AppNoiseProfileStore::Profile;
    EXPECT_EQ(h.store.profiles().at("app"), (P{3, 4e6, 8e12}));
    // mean + 2 × sqrt(m2 / (n − 1)); one sample: its mean, truncated
    EXPECT_EQ(std::tuple(P{3, 4e6, 8e12}.noiseFloor(), P{1, 1234567.9, 0}.noiseFloor(), P{40, 0, 0}.noiseFloor()),
              std::tuple(8000000u, 1234567u, 0u));

    // Half the threshold (strictly) until the 20th sample, then the learned floor, at least a quarter.
    const auto within = [&](const char* key, std::uint64_t delta) { return h.store.isWithinNoise(key, delta, B); };
    for (int i = 0; i < 19; ++i) h.store.record("quiet", 1000, T0);
    for (int i = 0; i < 20; ++i) h.store.record("jittery", 40 * M, T0);
    EXPECT_EQ(std::tuple(within("new", B / 2 - 1), within("new", B / 2), within("quiet", 40 * M)),
              std::tuple(true, false, true));
    h.store.record("quiet", 1000, T0);
    EXPECT_EQ(std::tuple(within("quiet", 40 * M), within("quiet", B / 4 - 1), within("quiet", B / 4),
                         within("jittery", 40 * M - 1), within("jittery", 40 * M)),
              std::tuple(false, true, false, true, false));

    for (int i = 0; i < 29; ++i) h.store.record("a", 100, T0);
    h.store.record("b", 100, T0);
    h.store.record("a", 524288001, T0);  // over 500 MiB: neither counted nor saved
    EXPECT_EQ(h.defaults.writes, 0);
    h.store.record("a", 524288000, T0);  // exactly 500 MiB is taken in: the 30th sample
    EXPECT_EQ(h.defaults.writes, 1);
    const Json saved = h.defaults.values.at("AppNoiseProfiles");
    EXPECT_EQ(std::tuple(saved["a"].size(), saved["a"]["sampleCount"], saved["b"]["sampleCount"], saved["a"]["lastSeen"]),
              std::tuple(4u, 30, 1, Json(T0.secondsSince2001)));
    EXPECT_DOUBLE_EQ(saved["a"]["meanAbsDelta"].get<double>(), (29 * 100 + 524288000) / 30.0);
    // Every 30th sample wants a save, but one write stores them all: at most one in 30 s.
    for (int i = 0; i < 30; ++i) h.store.record("a", 100, T0 + 29.9);
    EXPECT_EQ(h.defaults.writes, 1);
    h.store.seen("c", T0 + 30);
    EXPECT_EQ(std::pair(h.defaults.writes, h.defaults.values.at("AppNoiseProfiles")["a"]["sampleCount"]), std::pair(2, Json(60)));

    AppNoiseProfileStore loaded(h.defaults);
    loaded.load();
    EXPECT_EQ(loaded.profiles(), h.store.profiles());
    // A bad stored value leaves the profiles in memory as they were; a bad profile costs only itself.
    const auto k = [](Json n, Json mean, Json m2) { return Json{{"sampleCount", n}, {"meanAbsDelta", mean}, {"m2", m2}}; };
    for (const auto& value : {Json("text"), Json::array({k(3, 1, 0)})}) {
        h.defaults.values["AppNoiseProfiles"] = value;
        loaded.load();
        EXPECT_EQ(loaded.profiles(), h.store.profiles()) << value.dump();
    }
    const Json bad[] = {7, Json{{"sampleCount", 1}}, k(1, "1", 0), k(-3, 1, 0), k(3, 1, -8), k(3, 1e300, 0), k(20, 1, 1e30)};
    for (const auto& value : bad) {
        h.defaults.values["AppNoiseProfiles"] = Json{{"good", k(3, 1, 0)}, {"bad", value}, {"also", k(4, 2, 0)}};
        loaded.load();
        EXPECT_EQ(loaded.profiles(), (std::unordered_map<std::string, P>{{"good", P{3, 1, 0}}, {"also", P{4, 2, 0}}}))
            << value.dump();
    }
}

// Apps gone for 30 days leave the stored profiles; a profile stored without a date counts from now.
TEST(NoiseTest, ProfilesOfAppsGoneForAMonthAreForgotten) {
    Harness h;
    const double day = 86400;
    h.defaults.values["AppNoiseProfiles"] = Json{{"undated", {{"sampleCount", 2}, {"meanAbsDelta", 5}, {"m2", 0}}}};
    h.store.load();
    h.store.record("gone", 100, T0);
    h.store.record("kept", 100, T0);
    h.store.seen("kept", T0 + 29 * day);
    const auto stored = [&] {
        std::vector<std::string> keys;
        for (const auto& [key, value] : h.defaults.values.at("AppNoiseProfiles").items()) keys.push_back(key);
        std::sort(keys.begin(), keys.end());
        return keys;
    };
    for (int i = 0; i < 30; ++i) h.store.record("busy", 100, T0 + 30 * day + 1);
    EXPECT_EQ(stored(), (std::vector<std::string>{"busy", "kept", "undated"}));
    EXPECT_FALSE(h.store.profiles().contains("gone"));
    for (int i = 0; i < 30; ++i) h.store.record("busy", 100, T0 + 60 * day + 2);
    EXPECT_EQ(stored(), (std::vector<std::string>{"busy"}));
}

TEST(SignificantChangeTest, AppScenarios) {
    struct Run { double from, to; std::uint64_t bytes; };  // one sample a second, both ends included
    struct Expect { bool growth; double detectedAt, startedAt; std::uint64_t baseline, current, peak = 0; };
    struct Row { const char* name; std::vector<Run> runs; std::vector<Expect> expected; };
    const Row rows[] = {
        {"exactly B: 3.9 s waits, exactly 4.0 s confirms", {{0, 0, G}, {1, 1, G + B}, {4.9, 4.9, G + B}, {5, 5, G + B}},
         {{true, 5, 1, G, G + B}}},
        {"B - 1 on 1 GiB is small", {{0, 0, G}, {1, 10, G + B - 1}}, {}},
        {"60 MiB is large on 300 MiB", {{0, 0, 300 * M}, {1, 5, 360 * M}}, {{true, 5, 1, 300 * M, 360 * M}}},
        {"a release is not a huge growth", {{0, 0, 2 * G}, {1, 5, 2 * G - B}}, {{false, 5, 1, 2 * G, 2 * G - B}}},
        {"a one-sample spike after an hour of quiet",
         {{0, 3599, G}, {3600, 3600, G + 2 * B}, {3601, 3610, G}, {3611, 3615, G + 2 * B}},
         {{true, 3615, 3611, G, G + 2 * B}}},
        {"a plain release after a climb waits and is measured from the sample before it",
         {{0, 0, 2 * G}, {1, 8, 2 * G + 60 * M}, {9, 13, 2 * G - B}}, {{false, 13, 9, 2 * G + 60 * M, 2 * G - B}}},
        {"a second step waits 20 s", {{0, 0, G}, {1, 5, G + B}, {6, 6, G + B}, {7, 25, G + 2 * B}},
         {{true, 5, 1, G, G + B}, {true, 25, 7, G + B, G + 2 * B}}},
        {"an app that quits starts afresh",
         {{0, 0, 3 * G}, {1, 5, 3 * G + B}, {6, 6, 3 * G + B}, {7, 7, gone}, {8, 14, 200 * M}, {15, 19, 200 * M + B}},
         {{true, 5, 1, 3 * G, 3 * G + B}, {true, 19, 15, 200 * M, 200 * M + B}}},
        {"a pause in sampling starts afresh", {{0, 5, G}, {6, 6, G + B}, {60, 70, G + B}}, {}},
        {"a clock set back starts afresh and holds no cooldown",
         {{0, 0, G}, {1, 5, G + B}, {6, 6, G + B}, {7, 8, G + 2 * B}, {-3600, -3600, G + 2 * B}, {-3599, -3595, G + S}},
         {{true, 5, 1, G, G + B}, {true, -3595, -3599, G + 2 * B, G + S}}},
        {"a reversal past B / 4 restarts the watch", {{0, 0, 1000 * M}, {1, 1, 1010 * M}, {2, 2, 970 * M}, {3, 10, 970 * M + B}},
         {{true, 7, 3, 970 * M, 970 * M + B}}},
        // Each step stays inside the unlearned noise band (B / 2), so the watch restarts at the
        // current sample and must keep the way memory went.
        {"a release in steps after a reversal is reported once",
         {{0, 0, 1000 * M}, {1, 1, 1010 * M}, {2, 2, 970 * M}, {3, 3, 940 * M}, {4, 4, 910 * M}, {5, 5, 880 * M},
          {6, 20, 850 * M}},
         {{false, 8, 4, 970 * M, 850 * M, 970 * M}}},
        {"a growth in steps after a reversal is reported once",
         {{0, 0, 1000 * M}, {1, 1, 990 * M}, {2, 2, 1030 * M}, {3, 3, 1060 * M}, {4, 4, 1090 * M}, {5, 5, 1120 * M},
          {6, 20, 1150 * M}},
         {{true, 8, 4, 1030 * M, 1150 * M}}},
        {"a step against the jitter", {{0, 0, G}, {1, 1, G - M}, {2, 6, G + B}}, {{true, 6, 2, G - M, G + B}}},
        {"an unread process list", {{0, 0, G}, {1, 1, G + B}, {2, 2, unread}, {3, 5, G + B}}, {{true, 5, 1, G, G + B}}},
    };
    for (const auto& r : rows) {
        Harness h;
        for (const auto& run : r.runs)
            for (double t = run.from; t <= run.to; t += 1) h.sample(t, run.bytes);
        ASSERT_EQ(h.changes.size(), r.expected.size()) << r.name;
        for (std::size_t i = 0; i < r.expected.size(); ++i) {
            const auto& [c, e] = std::tie(h.changes[i], r.expected[i]);
            EXPECT_EQ(std::tuple(c.kind, c.app.groupingKey, c.detectedAt, *c.growthStartedAt, c.system->timestamp,
                                 c.baselineFootprint, c.currentFootprint, c.peakFootprint, c.signedDelta),
                      std::tuple(e.growth ? Kind::largeGrowth() : Kind::largeRelease(), "app", T0 + e.detectedAt,
                                 T0 + e.startedAt, T0 + e.detectedAt, e.baseline, e.current,
                                 e.peak ? e.peak : std::max(e.baseline, e.current),
                                 std::int64_t(e.current) - std::int64_t(e.baseline))) << r.name << " " << i;
        }
    }
}

TEST(SignificantChangeTest, LearnsNoiseOnlyBetweenZeroAndBAndNeverWatchesItself) {
    for (const auto& [delta, learned] : {std::pair<std::uint64_t, int>{0, 0}, {B - 1, 3}, {B, 0}}) {
        Harness h;
        for (int t = 0; t <= 3; ++t) h.sample(t, t == 0 ? 10 * G : 10 * G + delta);
        EXPECT_EQ(h.store.profiles().contains("app") ? h.store.profiles().at("app").sampleCount : 0, learned) << delta;
    }
    Harness h;  // the ignore-list is applied by the stories, not here
    h.sample(0, G, "self");
    EXPECT_FALSE(h.detector.pending().contains("self"));
    h.sample(1, G, "Dock");
    EXPECT_TRUE(h.detector.pending().contains("Dock"));
}

TEST(SignificantChangeTest, SystemScenarios) {
    struct Expect { Kind kind; double startedAt; std::uint64_t before = 0; };  // swap at the previous good reading
    struct Row { const char* name; std::vector<Sys> samples; std::vector<Expect> expected; };
    const Row rows[] = {
        {"exactly R", {{0, 1000000000}, {1, 1020971520}}, {{Kind::swapSpike(20971520), 0, 1000000000}}},
        {"21 MB in 1.1 s", {{0, 1000000000}, {1.1, 1021000000}}, {}},
        {"a drop", {{0, 1021000000}, {1, 1000000000}}, {}}, {"no time", {{0, 1000000000}, {0, 1021000000}}, {}},
        {"pressure once, first; each rise", {{0, 0}, {1, 30000000, Level::warning}, {2, 60000000, Level::warning}},
         {{Kind::pressureTransition(Level::normal, Level::warning), 0}, {Kind::swapSpike(30000000), 0},
          {Kind::swapSpike(30000000), 1, 30000000}}},
        {"failed readings are skipped",
         {{0, 2 * G, Level::warning}, {1, 0, Level::normal, true}, {2, 2 * G, Level::warning},
          {3, 0, Level::warning, true}, {4, 2 * G + 50000000, Level::warning}},
         {{Kind::swapSpike(25000000), 2, 2 * G}}},
    };
    for (const auto& r : rows) {
        Harness h;
        for (const auto& s : r.samples) h.detector.evaluate({}, Harness::system(s), T0 + s.t);
        ASSERT_EQ(h.changes.size(), r.expected.size()) << r.name;
        for (std::size_t i = 0; i < r.expected.size(); ++i) {
            const auto& [c, e] = std::tie(h.changes[i], r.expected[i]);
            const bool swap = c.kind.which == Kind::Case::swapSpike;
            const std::uint64_t now = swap ? c.system->swapUsedBytes : c.system->availableBytes;
            EXPECT_EQ(std::tuple(c.kind, c.app, *c.growthStartedAt, c.baselineFootprint, c.currentFootprint,
                                 c.peakFootprint, c.signedDelta),
                      std::tuple(e.kind, ProcessIdentity::system(), T0 + e.startedAt, e.before, now,
                                 swap ? now : 0, swap ? std::int64_t(now - e.before) : 0)) << r.name << " " << i;
        }
    }
}

TEST(SustainedGrowthTest, DecisiveBounds) {
    const auto gapped = [](std::uint64_t gap) {  // small before a hole ending 300 s ago, large after it
        return join(ramp(601 - gap, 1.0, 500 * M, 550 * M, T0 - double(300 + gap)), ramp(301, 1.0, G, G + M));
    };
    Points sawtooth;  // ends 400 MiB higher, but every other step falls
    for (int i = 0; i <= 800; ++i) sawtooth.emplace_back(T0 - 800 + i, G + i * M / 2 + (i % 2 ? 0 : 400 * M));
    const std::pair<const char*, Points> rows[] = {
        {"29 points", ramp(29, 26.0, G, 2 * G)}, {"+ 30 points", ramp(30, 26.0, G, 2 * G)},
        {"719.9 s", join(ramp(720, 1.0, G, G + S, T0 - 0.9), {{T0, G + S}})},
        {"+ 720.0 s", join(ramp(720, 1.0, G, G + S, T0 - 1.0), {{T0, G + S}})},
        {"+ exactly 3B", ramp(800, 1.0, G, G + S)}, {"3B - 1", ramp(800, 1.0, G, G + S - 1)},
        {"a climb that ends in a release", join(ramp(800, 1.0, G, G + S, T0 - 1), {{T0, G - M}})},
        {"a sawtooth", sawtooth}, {"the app quit for ten minutes", gapped(600)},
        {"a 31 s hole", gapped(31)}, {"+ a 20 s stall", gapped(20)},
        {"the clock set back", join(ramp(900, 1.0, G, G, T0 - 100), ramp(400, 1.0, 2 * G, 2 * G))},
    };
    const SustainedGrowthDetector d(16 * G);
    for (const auto& [name, points] : rows)
        EXPECT_EQ(d.evaluateApp(app, points, false, T0).has_value(), name[0] == '+') << name;
}

TEST(SustainedGrowthTest, ReportsOncePerTenMinutesAndNeverItself) {
    SustainedGrowthDetector d(16 * G);
    std::vector<SustainedGrowthResult> results;
    d.onSustainedGrowth = [&](const SustainedGrowthResult& r) { results.push_back(r); };
    const auto at = [&](double t, const Identities& ids) {
        d.evaluate(std::map<std::string, Points>{{"app", ramp(901, 1.0, G, G + 900 * M, T0 + t)}}, ids, t > 0, T0 + t);
    };
    at(0, Identities{{"app", app}});
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0], (SustainedGrowthResult{app, T0 - 900, T0, G, G + 900 * M, false}));
    at(599, Identities{{"app", app}});
    at(600, Identities{{"app", app}});
    ASSERT_EQ(results.size(), 2u);  // not at 599 s, again at 600 s
    EXPECT_EQ(std::pair(results[1].end, results[1].wasIdle), std::pair(T0 + 600, true));
    const ProcessIdentity self{"app", std::nullopt, "App", {7}, true};
    for (const Identities& ids : {Identities{{"app", self}}, Identities{{"other", app}}, Identities{}}) at(1300, ids);
    EXPECT_EQ(results.size(), 2u);
    EXPECT_TRUE(d.lastEmit().empty());  // the app's cooldown ran out while it was gone
    at(-5000, Identities{{"app", app}});  // the clock was set back: the old report holds no cooldown
    EXPECT_EQ(results.size(), 3u);
}

TEST(SustainedGrowthTest, MostlyRising) {
    const std::pair<std::vector<std::uint64_t>, bool> rows[] = {  // flat is rising; rising > 2 × falling; n ≥ 4
        {{100, 100, 100, 100}, true}, {{100, 200, 150, 250}, false}, {{100, 200, 150, 250, 300, 400}, true},
        {{100, 200, 300}, false}};
    for (const auto& [bytes, rising] : rows) {
        Points points;
        for (std::size_t i = 0; i < bytes.size(); ++i) points.emplace_back(T0 + double(i), bytes[i]);
        EXPECT_EQ(SustainedGrowthDetector::isMostlyRising(points), rising) << ::testing::PrintToString(bytes);
    }
}

// An app hidden to the tray mid-growth keeps its key: its growth is one change, not a split history.
// A new process that inherits the pid does not inherit the identity.
TEST(DetectionSimulationTest, UnlistedWindowKeepsTheIdentityOfItsProcess) {
    FakeClock clock{T0};
    ManualScheduler scheduler(clock);
    FakeProcessSource processes;
    FakeDesktopSession desktop;
    FakeSystemMemorySource memory;
    MemorySampler sampler(processes, desktop, memory, scheduler, clock, SelfProcess{99999, std::nullopt});
    Harness h;
    sampler.onTick = [&](const auto& apps, const auto& system) { h.detector.evaluate(apps, system, clock.now()); };
    desktop.apps = {RunningApplication{100, "org.example.Notes", "Notes", false, true}};
    const auto notes = [&](std::uint64_t bytes, std::uint64_t started = 5) {
        processes.processes = {{100, "/usr/bin/notes", "notes", 1, bytes, started}};
    };
    notes(G);
    sampler.start();
    notes(G + B);
    scheduler.advance(1.0);
    desktop.apps.clear();
    scheduler.advance(5.0);
    ASSERT_EQ(h.changes.size(), 1u);
    EXPECT_EQ(std::tuple(h.changes[0].kind, h.changes[0].app.groupingKey, h.changes[0].baselineFootprint),
              std::tuple(Kind::largeGrowth(), "org.example.Notes", G));
    EXPECT_EQ(std::pair(sampler.appSnapshots()[0].identity.groupingKey, sampler.appSnapshots()[0].isForeground),
              std::pair(std::string("org.example.Notes"), false));
    notes(G, 9);
    scheduler.advance(1.0);
    EXPECT_EQ(sampler.appSnapshots()[0].identity.groupingKey, "name:notes");
}

// Two and a half hours of once-a-second samples through the real sampler: jittery apps stay
// quiet, one step is reported once, and a slow leak is reported once as sustained growth.
TEST(DetectionSimulationTest, HoursOfSamples) {
    FakeClock clock{T0};
    ManualScheduler scheduler(clock);
    FakeProcessSource processes;
    FakeDesktopSession desktop;
    FakeSystemMemorySource memory;
    memory.reading = SystemMemoryReading{16 * G, 8 * G, 0, 2 * G, Level::normal};
    MemorySampler sampler(processes, desktop, memory, scheduler, clock, SelfProcess{99999, std::nullopt});
    Harness h;
    SustainedGrowthDetector growth(16 * G);
    std::vector<SustainedGrowthResult> sustained;
    growth.onSustainedGrowth = [&](const SustainedGrowthResult& r) { sustained.push_back(r); };
    sampler.onTick = [&](const std::vector<AppMemorySnapshot>& apps, const SystemMemorySnapshot& system) {
        h.detector.evaluate(apps, system, clock.now());
        Identities identities;
        for (const auto& a : apps) identities.emplace(a.identity.groupingKey, a.identity);
        growth.evaluate(sampler.footprintHistory(), identities, false, clock.now());
    };

    const int stepAt = 1800, leakFrom = 3600, leakUntil = 4500, failedReadAt = 5000;
    std::uint64_t seed = 12345;
    auto jitter = [&](std::uint64_t base, std::uint64_t amplitude) {  // base ± amplitude, deterministic
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return base - amplitude + (seed >> 33) % (2 * amplitude + 1);
    };
    for (int t = 0; t <= 9000; ++t) {
        processes.processes = {{100, "/usr/bin/editor", "editor", 1, jitter(800 * M, 2 * M)},
                               {200, "/usr/bin/mail", "mail", 1, jitter(400 * M, 5 * M)},
                               {300, "/usr/bin/browser", "browser", 1, jitter(1536 * M, 20 * M)},
                               {400, "/usr/bin/builder", "builder", 1, jitter(t < stepAt ? G : G + 200 * M, M)}};
        if (t >= leakFrom)  // half a MiB a second for fifteen minutes
            processes.processes.push_back(
                {500, "/usr/bin/leaky", "leaky", 1, 300 * M + (std::min(t, leakUntil) - leakFrom) * M / 2});
        memory.reading.swapUsedBytes = t == failedReadAt ? std::nullopt : std::optional<std::uint64_t>(2 * G);
        if (t == 0) sampler.start();
        else scheduler.advance(1.0);
    }

    std::erase_if(h.changes, [](const SignificantChange& c) { return c.app.groupingKey == "name:leaky"; });
    ASSERT_EQ(h.changes.size(), 1u);  // the jittery apps and the failed system reading stay quiet
    const SignificantChange& step = h.changes[0];
    EXPECT_EQ(std::pair(step.app.groupingKey, step.kind), std::pair(std::string("name:builder"), Kind::largeGrowth()));
    EXPECT_NEAR(*step.growthStartedAt - T0, stepAt, 1.0);
    EXPECT_NEAR(step.detectedAt - *step.growthStartedAt, 4.0, 1.0);
    EXPECT_NEAR(static_cast<double>(step.signedDelta), 200.0 * M, 3.0 * M);
    ASSERT_EQ(sustained.size(), 1u);
    EXPECT_EQ(std::tuple(sustained[0].app.groupingKey, sustained[0].end - sustained[0].start >= 720.0,
                         sustained[0].endBytes - sustained[0].startBytes >= S),
              std::tuple("name:leaky", true, true));
}
