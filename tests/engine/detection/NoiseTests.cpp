#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "engine/detection/AdaptiveThresholds.h"
#include "engine/detection/AppNoiseProfileStore.h"
#include "engine/detection/NoiseFilter.h"
#include "tests/fakes/InMemoryDefaults.h"

using namespace velmora;

namespace {
constexpr std::uint64_t GiB = 1ull << 30;
constexpr std::uint64_t MiB = 1ull << 20;
}  // namespace

TEST(AdaptiveThresholdsTest, ScaleWithInstalledMemory) {
    struct Row {
        std::uint64_t total, b, sustained, rate;
    };
    const Row rows[] = {
        {0, 50331648, 150994944, 8388608},
        {4 * GiB, 50331648, 150994944, 10485760},
        {8 * GiB, 52428800, 157286400, 14829104},
        {16 * GiB, 104857600, 314572800, 20971520},
        {32 * GiB, 209715200, 629145600, 29658208},
        {64 * GiB, 419430400, 1258291200, 41943040},
    };
    for (const auto& r : rows) {
        const AdaptiveThresholds t{r.total};
        EXPECT_EQ(t.significantDeltaBytes(), r.b) << r.total;
        EXPECT_EQ(t.sustainedGrowthBytes(), r.sustained) << r.total;
        EXPECT_EQ(t.sizeScaledThreshold(), r.rate) << r.total;
    }
    // The largest possible size neither wraps nor overflows.
    const AdaptiveThresholds huge{std::numeric_limits<std::uint64_t>::max()};
    EXPECT_GT(huge.significantDeltaBytes(), 400 * MiB);
    EXPECT_EQ(huge.sustainedGrowthBytes(), 3 * huge.significantDeltaBytes());
}

TEST(AdaptiveThresholdsTest, ByteArithmeticNeverWraps) {
    EXPECT_EQ(absoluteDifference(10, 300), 290u);
    EXPECT_EQ(absoluteDifference(300, 10), 290u);
    EXPECT_EQ(signedDifference(10, 300), -290);
    EXPECT_EQ(signedDifference(0, std::numeric_limits<std::uint64_t>::max()), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(signedDifference(std::numeric_limits<std::uint64_t>::max(), 0), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(truncatedBytes(std::nan("")), 0u);
    EXPECT_EQ(truncatedBytes(-5.0), 0u);
    EXPECT_EQ(truncatedBytes(1e30), std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(truncatedBytes(7.99), 7u);
}

TEST(NoiseFilterTest, AbsoluteAndRelativeSignificance) {
    const NoiseFilter f{AdaptiveThresholds{16 * GiB}};
    struct Row {
        std::uint64_t delta, baseline;
        bool absolute, relative;
    };
    const Row rows[] = {
        {104857599, 0, false, false},  // baseline 0: the absolute test
        {104857600, 0, true, true},
        {52428800, 524288000, false, true},  // exactly 10 % and exactly B / 2
        {52428799, 100, false, false},       // huge share but below B / 2
        {52428800, 524288010, false, false}, // just under 10 %
        {104857600, 5000 * MiB, true, false},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(f.isSignificantDelta(r.delta), r.absolute) << r.delta << " / " << r.baseline;
        EXPECT_EQ(f.isSignificantRelative(r.delta, r.baseline), r.relative) << r.delta << " / " << r.baseline;
    }
}

TEST(NoiseFilterTest, IgnoreList) {
    struct Row {
        std::string name;
        std::optional<std::string> bundle;
        bool noise;
    };
    const Row rows[] = {
        {"Dock", std::nullopt, true},
        {"Finder", "com.apple.finder", true},
        {"Window Server", std::nullopt, true},
        {"bird", std::nullopt, true},
        {"Thunderbird", "org.mozilla.Thunderbird", false},  // not a substring match
        {"Thunderbird", std::nullopt, false},
        {"Songbird", std::nullopt, false},
        {"secd", std::nullopt, true},
        {"com.apple.secd helper", std::nullopt, true},
        {"Safari Web Content", std::nullopt, true},
        {"Safari Graphics and Media", std::nullopt, true},
        {"Apple Push Agent", std::nullopt, true},
        {"Agent Smith", std::nullopt, false},
        {"Docker", std::nullopt, false},
        {"Dockyard", "com.apple.dockyard", true},  // bundle prefix covers longer ids
        {"Some Tool", "com.apple.SafariHelper", false},  // Safari without WebKit
        {"Some Tool", "com.apple.Safari.WebKit.XPC", true},
        {"Some Tool", "com.apple.MusicVideo", true},
        {"Some Tool", "com.example.XPCHelper", false},  // rules 9 are for com.apple. only
        // Linux desktop plumbing, as whole names.
        {"Xorg", std::nullopt, true},
        {"Xwayland", std::nullopt, true},
        {"gnome-shell", std::nullopt, true},
        {"GNOME Shell", "org.gnome.Shell", true},
        {"plasmashell", std::nullopt, true},
        {"kwin_wayland", std::nullopt, true},
        {"pipewire-pulse", std::nullopt, true},
        {"wireplumber", std::nullopt, true},
        {"dbus-daemon", std::nullopt, true},
        {"systemd", std::nullopt, true},
        {"systemd-journald", std::nullopt, true},
        {"xdg-desktop-portal-gnome", std::nullopt, true},
        {"xdg-desktop-por", std::nullopt, true},  // the kernel's 15-byte cut of the above
        {"gnome-keyring-d", std::nullopt, true},
        {"gsd-color", std::nullopt, true},
        {"ibus-daemon", std::nullopt, true},
        {"at-spi2-registryd", std::nullopt, true},
        {"gvfsd-fuse", std::nullopt, true},
        // Ordinary apps that merely share a word stay visible.
        {"Evolution", "org.gnome.Evolution", false},
        {"Shell Script Editor", std::nullopt, false},
        {"systemdgenie", std::nullopt, false},
        {"gsdx", std::nullopt, false},
        {"Pipewire Graph Editor", std::nullopt, false},
        {"Xournal++", std::nullopt, false},
        {"xdg-desktop-port", std::nullopt, false},  // 16 bytes: not a cut name
        {"", std::nullopt, false},
    };
    for (const auto& r : rows) {
        const ProcessIdentity id{"key", r.bundle, r.name, {1}, false};
        EXPECT_EQ(NoiseFilter::isNoise(id), r.noise) << r.name << " " << r.bundle.value_or("-");
    }
    EXPECT_TRUE(NoiseFilter::isNoise(ProcessIdentity{"x", std::nullopt, "Anything", {}, true}));
}

TEST(NoiseProfileTest, WelfordAndNoiseFloor) {
    InMemoryDefaults defaults;
    AppNoiseProfileStore store(defaults);
    for (std::uint64_t x : {2000000u, 4000000u, 6000000u}) store.record("app", x);
    const auto& p = store.profiles().at("app");
    EXPECT_EQ(p.sampleCount, 3);
    EXPECT_DOUBLE_EQ(p.meanAbsDelta, 4000000.0);
    EXPECT_DOUBLE_EQ(p.m2, 8e12);
    // mean + 2 × sqrt(8e12 / 2) = 4e6 + 4e6
    EXPECT_EQ(p.noiseFloor(), 8000000u);

    struct Row {
        AppNoiseProfileStore::Profile profile;
        std::uint64_t floor;
    };
    const Row rows[] = {
        {{1, 1234567.9, 0}, 1234567},  // one sample: its mean, truncated
        {{0, 0, 0}, 0},
        {{40, 0, 0}, 0},
        {{5, 100, -1}, 100},  // damaged m2 spreads nothing
    };
    for (const auto& r : rows) EXPECT_EQ(r.profile.noiseFloor(), r.floor);
}

TEST(NoiseProfileTest, WithinNoiseSwitchesToLearnedFloorAtTwentySamples) {
    InMemoryDefaults defaults;
    AppNoiseProfileStore store(defaults);
    const std::uint64_t threshold = 104857600;  // B with 16 GiB
    EXPECT_TRUE(store.isWithinNoise("app", threshold / 2 - 1, threshold));
    EXPECT_FALSE(store.isWithinNoise("app", threshold / 2, threshold));  // strict

    for (int i = 0; i < 19; ++i) store.record("app", 1000);
    EXPECT_TRUE(store.isWithinNoise("app", 40 * MiB, threshold));  // still half the threshold
    store.record("app", 1000);
    EXPECT_FALSE(store.isWithinNoise("app", 40 * MiB, threshold));   // floor 1000, bounded by a quarter
    EXPECT_TRUE(store.isWithinNoise("app", threshold / 4 - 1, threshold));
    EXPECT_FALSE(store.isWithinNoise("app", threshold / 4, threshold));

    // A jittery app's learned floor above the quarter bound widens its band.
    for (int i = 0; i < 20; ++i) store.record("jittery", 40 * MiB);
    EXPECT_TRUE(store.isWithinNoise("jittery", 40 * MiB - 1, threshold));
    EXPECT_FALSE(store.isWithinNoise("jittery", 40 * MiB, threshold));
}

TEST(NoiseProfileTest, SavesOnEveryThirtiethSampleOnly) {
    InMemoryDefaults defaults;
    AppNoiseProfileStore store(defaults);
    for (int i = 0; i < 29; ++i) store.record("a", 100);
    store.record("b", 100);
    store.record("a", 524288001);  // over 500 MiB: neither counted nor saved
    EXPECT_EQ(defaults.writes, 0);
    EXPECT_EQ(store.profiles().at("a").sampleCount, 29);

    store.record("a", 524288000);  // exactly 500 MiB is taken in: the 30th sample
    EXPECT_EQ(defaults.writes, 1);
    const Json saved = defaults.values.at("AppNoiseProfiles");
    EXPECT_EQ(saved["a"]["sampleCount"], 30);
    EXPECT_EQ(saved["b"]["sampleCount"], 1);
    EXPECT_EQ(saved["a"].size(), 3u);

    for (int i = 0; i < 29; ++i) store.record("a", 100);
    EXPECT_EQ(defaults.writes, 1);
    store.record("a", 100);
    EXPECT_EQ(defaults.writes, 2);
}

TEST(NoiseProfileTest, LoadRoundTripAndBadValues) {
    InMemoryDefaults defaults;
    {
        AppNoiseProfileStore store(defaults);
        for (int i = 0; i < 30; ++i) store.record("org.example.App", 1000 + i);
    }
    AppNoiseProfileStore loaded(defaults);
    loaded.load();
    ASSERT_EQ(loaded.profiles().size(), 1u);
    EXPECT_EQ(loaded.profiles().at("org.example.App").sampleCount, 30);

    // A bad stored value leaves the profiles in memory as they were.
    const Json bad[] = {
        Json("text"),
        Json::array({1, 2}),
        Json{{"k", {{"sampleCount", 1.5}, {"meanAbsDelta", 1}, {"m2", 0}}}},
        Json{{"k", {{"sampleCount", 1}, {"meanAbsDelta", "1"}, {"m2", 0}}}},
        Json{{"k", {{"sampleCount", 1}, {"m2", 0}}}},
        Json{{"k", {{"sampleCount", -3}, {"meanAbsDelta", 1}, {"m2", 0}}}},
        Json{{"k", {{"sampleCount", 3}, {"meanAbsDelta", 1}, {"m2", -8}}}},
        Json{{"good", {{"sampleCount", 3}, {"meanAbsDelta", 1}, {"m2", 0}}}, {"k", 7}},
    };
    for (const auto& value : bad) {
        defaults.values["AppNoiseProfiles"] = value;
        loaded.load();
        ASSERT_EQ(loaded.profiles().size(), 1u) << value.dump();
        EXPECT_TRUE(loaded.profiles().contains("org.example.App")) << value.dump();
    }
    defaults.values.erase("AppNoiseProfiles");
    loaded.load();
    EXPECT_EQ(loaded.profiles().size(), 1u);
}
