// The Stories page's rules as tables: which stories get a row, the filters, the app choices, and
// what a row and the detail say.
#include <gtest/gtest.h>

#include <limits>

#include "ui/main/stories/StoriesLogic.h"

namespace velmora::stories {
namespace {

using K = TimelineEventKind;
using P = MemoryPressureLevel;

ImpactWindow window(std::int64_t delta, std::optional<std::uint64_t> end = std::nullopt,
                    std::optional<std::uint64_t> peak = std::nullopt) {
    ImpactWindow w;
    w.deltaBytes = delta;
    w.endFootprintBytes = end;
    w.peakBytes = peak;
    return w;
}

SystemMemorySnapshot context(P pressure, std::uint64_t total = 0, std::uint64_t available = 0) {
    SystemMemorySnapshot s;
    s.pressure = pressure;
    s.totalPhysicalBytes = total;
    s.availableBytes = available;
    return s;
}

TimelineEvent story(K kind, std::optional<ImpactWindow> settled, std::optional<SystemMemorySnapshot> ctx = std::nullopt,
                    std::string app = "Editor") {
    TimelineEvent s;
    s.kind = kind;
    s.settled = settled;
    s.systemContext = ctx;
    if (!app.empty()) s.relatedApp = ProcessIdentity{"key." + app, std::nullopt, app, {42}, false};
    return s;
}

TEST(StoriesVisibility, Table) {
    const auto normal = context(P::normal);
    auto noWindows = story(K::largeDelta, std::nullopt, normal);
    auto zeroSettledBigImmediate = story(K::largeDelta, window(0), normal);
    zeroSettledBigImmediate.immediate = window(900'000'000);
    auto self = story(K::largeDelta, window(900'000'000), normal);
    self.relatedApp->isSelf = true;
    struct Case {
        const char* name;
        TimelineEvent s;
        bool shown;
    } cases[] = {
        {"48 MiB less one byte under normal pressure", story(K::largeDelta, window(50'331'647), normal), false},
        {"exactly 48 MiB", story(K::largeDelta, window(50'331'648), normal), true},
        {"exactly 48 MiB of release", story(K::memoryReleased, window(-50'331'648), normal), true},
        {"small sustained growth", story(K::sustainedGrowth, window(20'000'000), normal), true},
        {"-10 MB release, normal", story(K::memoryReleased, window(-10'000'000), normal), false},
        {"-10 MB release, no context", story(K::memoryReleased, window(-10'000'000)), true},
        {"-10 MB release, warning", story(K::memoryReleased, window(-10'000'000), context(P::warning)), true},
        {"no windows", noWindows, true},
        {"noise app", self, false},
        {"noise by name", story(K::largeDelta, window(900'000'000), normal, "velmora"), false},
        {"settled 0 hides a big immediate", zeroSettledBigImmediate, false},
        {"most negative delta", story(K::memoryReleased, window(std::numeric_limits<std::int64_t>::min()), normal), true},
        {"small measurement", story(K::measureSession, window(3'000'000), normal), true},
        {"measurement of nothing", story(K::measureSession, window(0), normal), true},
        {"measurement of a helper", story(K::measureSession, window(9'000'000), normal, "velmora"), true},
        {"pressure change", story(K::pressureChanged, std::nullopt, normal, ""), true},
        {"swap burst with zero", story(K::swapSpike, window(0), normal, ""), true},
        {"activity record", story(K::windowOpened, window(900'000'000), normal), false},
        {"idle record", story(K::userIdle, std::nullopt, std::nullopt, ""), false},
    };
    for (const auto& c : cases) EXPECT_EQ(isVisible(c.s), c.shown) << c.name;
}

TEST(StoriesImpact, LabelsAndFilters) {
    auto immediateOnly = story(K::largeDelta, std::nullopt, context(P::normal));
    immediateOnly.immediate = window(-5);
    immediateOnly.longerTerm = window(900'000'000);
    struct Case {
        const char* name;
        TimelineEvent s;
        const char* label;
        ImpactFilter passes;  // the one case besides "all"
    } cases[] = {
        {"system, no windows", story(K::pressureChanged, std::nullopt, std::nullopt, ""), "Computer status",
         ImpactFilter::stress},
        {"app, no windows, no context", story(K::largeDelta, std::nullopt), "Tiny", ImpactFilter::tiny},
        {"app, no windows, warning", story(K::largeDelta, std::nullopt, context(P::warning)), "Adds stress",
         ImpactFilter::stress},
        {"app, no windows, critical", story(K::largeDelta, std::nullopt, context(P::critical)), "Hurts now",
         ImpactFilter::stress},
        {"release under critical", story(K::memoryReleased, window(-1), context(P::critical)), "Helps",
         ImpactFilter::helps},
        {"settled absent takes immediate", immediateOnly, "Helps", ImpactFilter::helps},
        {"200 MB", story(K::largeDelta, window(200'000'000)), "Small hit", ImpactFilter::smallHit},
        {"600 MB", story(K::largeDelta, window(600'000'000)), "Worth watching", ImpactFilter::worthWatching},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(impactLabel(c.s), c.label) << c.name;
        for (const auto f : allImpactFilters)
            EXPECT_EQ(matches(f, impactLabel(c.s)), f == ImpactFilter::all || f == c.passes) << c.name;
    }
    EXPECT_FALSE(matches(ImpactFilter::stress, "Mac status"));
    EXPECT_EQ(impactFilterFromRaw("smallHit"), ImpactFilter::smallHit);
    EXPECT_EQ(impactFilterFromRaw("ALL"), std::nullopt);
    EXPECT_EQ(impactFilterFromRaw("Stress"), std::nullopt);
}

TEST(StoriesFilters, SearchAppAndActive) {
    auto firefox = story(K::largeDelta, window(60'000'000), std::nullopt, "Firefox");
    firefox.title = "Opened a page";
    firefox.explanation = "Tabs grew";
    auto other = story(K::largeDelta, window(60'000'000), std::nullopt, "Terminal");
    auto loose = story(K::pressureChanged, std::nullopt, std::nullopt, "");
    struct Case {
        const char* name;
        Filters f;
        bool firefox, other, loose;
    } cases[] = {
        {"empty search", {}, true, true, true},
        {"blank search", {" "}, true, true, true},
        {"upper-case needle", {"FIREFOX"}, true, false, false},
        {"trailing space at the end of the name", {"firefox "}, false, false, false},
        {"text from the explanation", {"tabs grew firefox"}, true, false, false},
        {"chosen app by key", {"", "key.Terminal"}, false, true, false},
        {"chosen app by friendly name", {"", "Firefox"}, true, false, false},
        {"impact filter", {"", std::nullopt, ImpactFilter::stress}, false, false, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(matchesFilters(firefox, c.f), c.firefox) << c.name;
        EXPECT_EQ(matchesFilters(other, c.f), c.other) << c.name;
        EXPECT_EQ(matchesFilters(loose, c.f), c.loose) << c.name;
    }
    struct Active {
        Filters f;
        bool active;
    } actives[] = {{{}, false}, {{" "}, true}, {{"", "k"}, true}, {{"", std::nullopt, ImpactFilter::tiny}, true}};
    for (const auto& a : actives) EXPECT_EQ(a.f.active(), a.active) << a.f.search;
}

TEST(StoriesFilters, AppOptionsSortedAndKept) {
    auto zeta = story(K::largeDelta, window(1), std::nullopt, "Zeta");
    auto betaNew = story(K::largeDelta, window(1), std::nullopt, "beta");
    auto betaOld = story(K::largeDelta, window(1), std::nullopt, "Beta Old");
    betaOld.relatedApp->groupingKey = "key.beta";
    auto alpha = story(K::largeDelta, window(1), std::nullopt, "Alpha");
    auto system = story(K::pressureChanged, std::nullopt, std::nullopt, "");
    // Newest first: the older story's name is the one kept.
    const auto options = appOptions({&zeta, &betaNew, &system, &betaOld, &alpha});
    const std::vector<AppOption> expected{{"key.Alpha", "Alpha"}, {"key.beta", "Beta Old"}, {"key.Zeta", "Zeta"}};
    EXPECT_EQ(options, expected);

    const auto kept = pickerOptions(options, AppOption{"key.gone", "Gone"});
    ASSERT_EQ(kept.size(), 4u);
    EXPECT_EQ(kept.back(), (AppOption{"key.gone", "Gone"}));
    EXPECT_EQ(pickerOptions(options, AppOption{"key.Zeta", "Zeta"}).size(), 3u);
    EXPECT_EQ(pickerOptions(options, std::nullopt).size(), 3u);

    // Names, not bytes: an accented initial sorts with its letter, lower case with upper.
    auto emacs = story(K::largeDelta, window(1), std::nullopt, "\u00c9macs");
    auto hog = story(K::largeDelta, window(1), std::nullopt, "windowhog");
    auto editor = story(K::largeDelta, window(1), std::nullopt, "editor");
    auto fox = story(K::largeDelta, window(1), std::nullopt, "Firefox");
    std::vector<std::string> names;
    for (const auto& o : appOptions({&hog, &fox, &emacs, &editor})) names.push_back(o.name);
    EXPECT_EQ(names, (std::vector<std::string>{"editor", "\u00c9macs", "Firefox", "windowhog"}));
}

TEST(StoriesNudge, Table) {
    struct Case {
        bool connected, dismissed;
        int count;
        bool shown;
    } cases[] = {{false, false, 1, true}, {false, false, 0, false}, {true, false, 3, false}, {false, true, 3, false}};
    for (const auto& c : cases)
        EXPECT_EQ(showsExtensionNudge(c.connected, c.dismissed, c.count), c.shown) << c.count << c.dismissed;
}

TEST(StoriesRow, Table) {
    auto system = story(K::pressureChanged, window(5, 4'000'000'000), context(P::warning, 8'000'000'000), "");
    system.title = "Computer memory is tight";
    system.explanation = "Overall memory pressure changed.\nThis is about the whole computer, not one app.";
    auto swap = story(K::swapSpike, std::nullopt, context(P::warning), "");
    swap.explanation = "When free RAM is tight, the computer uses disk. That often feels slow.";
    auto immediateOnly = story(K::largeDelta, std::nullopt, context(P::normal, 1'000'000'000));
    immediateOnly.immediate = window(70'000'000);
    immediateOnly.longerTerm = window(90'000'000, 250'000'000);
    auto release = story(K::memoryReleased, window(-314'572'800, 100'000'000), context(P::critical, 400'000'000));
    release.title = "Editor freed memory";
    auto bare = story(K::largeDelta, std::nullopt);
    auto over = story(K::largeDelta, window(60'000'000, 9'000'000'000), context(P::normal, 8'000'000'000));
    auto noContext = story(K::largeDelta, window(60'000'000, 4'000'000'000));
    struct Case {
        const char* name;
        TimelineEvent s;
        const char* delta;
        Tone deltaTone;
        std::optional<std::string> total;
        RowSymbol symbol;
        Tone accent;
        double share;
        const char* summary;
        Tone summaryTone;
    } cases[] = {
        {"system", system, "Computer", Tone::yellow, std::nullopt, RowSymbol::gauge, Tone::yellow, 0.5,
         "Computer status", Tone::yellow},
        {"settled absent", immediateOnly, "+66.8 MB", Tone::primary, "now 238.4 MB", RowSymbol::up, Tone::orange, 0.25,
         "Tiny", Tone::secondary},
        {"release", release, "\u2212300 MB", Tone::green, "now 95.4 MB", RowSymbol::down, Tone::green, 0.25, "Helps",
         Tone::green},
        {"no windows", bare, "0 bytes", Tone::primary, std::nullopt, RowSymbol::up, Tone::orange, 0.0, "Tiny",
         Tone::secondary},
        {"end above total", over, "+57.2 MB", Tone::primary, "now 8.38 GB", RowSymbol::up, Tone::orange, 1.0, "Tiny",
         Tone::secondary},
        {"no context", noContext, "+57.2 MB", Tone::primary, "now 3.73 GB", RowSymbol::up, Tone::orange, 0.0, "Tiny",
         Tone::secondary},
    };
    for (const auto& c : cases) {
        const auto row = rowModel(c.s);
        EXPECT_EQ(row.deltaText, c.delta) << c.name;
        EXPECT_EQ(row.deltaTone, c.deltaTone) << c.name;
        EXPECT_EQ(row.totalText, c.total) << c.name;
        EXPECT_EQ(row.symbol, c.symbol) << c.name;
        EXPECT_EQ(row.accent, c.accent) << c.name;
        EXPECT_DOUBLE_EQ(row.share, c.share) << c.name;
        EXPECT_EQ(row.summary, c.summary) << c.name;
        EXPECT_EQ(row.summaryTone, c.summaryTone) << c.name;
    }
    // Computer-wide rows keep their subtitle line blank; an app's row shows its first line.
    EXPECT_EQ(rowModel(system).subtitle, std::nullopt);
    EXPECT_EQ(rowModel(swap).subtitle, std::nullopt);
    release.explanation = "Closed a large project.\nHelps: less in use.";
    EXPECT_EQ(rowModel(release).subtitle, "Closed a large project.");
    EXPECT_EQ(rowModel(system).accessibleText, "Computer memory is tight, Computer, now unknown total, Computer status");
    EXPECT_EQ(rowModel(release).accessibleText, "Editor freed memory, \u2212300 MB, now 95.4 MB, Helps");

    // The most negative delta a stored file can hold: its size saturates rather than overflowing.
    const auto extreme =
        story(K::memoryReleased, window(std::numeric_limits<std::int64_t>::min()), context(P::critical, 8'000'000'000));
    EXPECT_EQ(rowModel(extreme).deltaText, "\u22128,388,608 TB");
    EXPECT_EQ(rowModel(extreme).summary, "Helps");
    EXPECT_EQ(detailModel(extreme).deltaText, "\u22128,388,608 TB");
    EXPECT_FALSE(detailModel(extreme).offersQuit);
}

TEST(StoriesDetail, QuitCardAndLines) {
    auto system = story(K::pressureChanged, window(900'000'000), context(P::critical, 8, 4), "");
    auto release = story(K::memoryReleased, window(-10'000'000), context(P::normal));
    auto growth = story(K::largeDelta, window(300'000'000), context(P::normal, 8, 3'000'000'000));
    auto self = growth;
    self.relatedApp->isSelf = true;
    auto noise = story(K::largeDelta, window(300'000'000), std::nullopt, "plasmashell");
    auto oneByte = story(K::largeDelta, window(1));
    struct Case {
        const char* name;
        TimelineEvent s;
        const char* delta;
        bool green;
        const char* card;
        Tone tone;
        bool quit;
    } cases[] = {
        {"system under critical", system, "0 bytes", false, "Hurts now", Tone::red, false},
        {"release", release, "\u22129.5 MB", true, "Helps", Tone::green, false},
        {"growth", growth, "+286.1 MB", false, "Small hit", Tone::secondary, true},
        {"self", self, "+286.1 MB", false, "Small hit", Tone::secondary, false},
        {"desktop daemon", noise, "+286.1 MB", false, "Small hit", Tone::secondary, false},
        {"one byte", oneByte, "+1 byte", false, "Tiny", Tone::secondary, true},
    };
    for (const auto& c : cases) {
        const auto d = detailModel(c.s);
        EXPECT_EQ(d.deltaText, c.delta) << c.name;
        EXPECT_EQ(d.deltaGreen, c.green) << c.name;
        EXPECT_EQ(d.cardLabel, c.card) << c.name;
        EXPECT_EQ(d.tone, c.tone) << c.name;
        EXPECT_EQ(d.offersQuit, c.quit) << c.name;
    }
    EXPECT_EQ(detailModel(growth).freeLine, "Free on computer then: 2.79 GB");
    EXPECT_EQ(detailModel(noise).freeLine, std::nullopt);
    auto many = growth;
    many.primarySource = SensorSource::memorySampler;
    many.supportingSources = {SensorSource::workspace,      SensorSource::accessibility, SensorSource::windowList,
                              SensorSource::systemPressure, SensorSource::measureMode,   SensorSource::screenshotOCR};
    const std::vector<SensorSource> badges{SensorSource::memorySampler, SensorSource::workspace,
                                           SensorSource::accessibility, SensorSource::windowList,
                                           SensorSource::systemPressure};
    EXPECT_EQ(detailModel(many).badges, badges);
}

TEST(StoriesDetail, SpikeBoundaries) {
    constexpr std::uint64_t mb = 1'048'576;
    const auto make = [](std::optional<std::uint64_t> immediatePeak, std::optional<std::uint64_t> settledPeak,
                         std::int64_t settledDelta, std::optional<std::uint64_t> baseline) {
        auto s = story(K::largeDelta, window(settledDelta, std::nullopt, settledPeak));
        s.immediate = window(0, std::nullopt, immediatePeak);
        s.baselineFootprintBytes = baseline;
        return detailModel(s).spikeLine;
    };
    const std::int64_t m = 1'048'576;
    struct Case {
        const char* name;
        std::optional<std::string> line;
        std::optional<std::string> expected;
    } cases[] = {
        {"+500 over +100", make(1500 * mb, std::nullopt, 100 * m, 1000 * mb),
         "Spiked to +500 MB for a moment, then settled here."},
        {"+500 over +470", make(1500 * mb, std::nullopt, 470 * m, 1000 * mb), std::nullopt},
        {"exactly 40 MiB above", make(1000 * mb + 41'943'040, std::nullopt, 0, 1000 * mb), std::nullopt},
        {"one byte more", make(1000 * mb + 41'943'041, std::nullopt, 0, 1000 * mb),
         "Spiked to +40 MB for a moment, then settled here."},
        {"peak only in settled", make(std::nullopt, 1500 * mb, 100 * m, 1000 * mb),
         "Spiked to +500 MB for a moment, then settled here."},
        {"peak below settled", make(1100 * mb, std::nullopt, 300 * m, 1000 * mb), std::nullopt},
        {"release's lower peak", make(900 * mb, std::nullopt, -300 * m, 1000 * mb), std::nullopt},
        {"no baseline", make(1500 * mb, std::nullopt, 100 * m, std::nullopt), std::nullopt},
        {"largest peak", make(std::numeric_limits<std::uint64_t>::max(), std::nullopt,
                              std::numeric_limits<std::int64_t>::min(), 0),
         "Spiked to +8,388,608 TB for a moment, then settled here."},
    };
    for (const auto& c : cases) EXPECT_EQ(c.line, c.expected) << c.name;
}

}  // namespace
}  // namespace velmora::stories
