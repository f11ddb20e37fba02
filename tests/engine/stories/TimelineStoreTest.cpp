#include <gtest/gtest.h>

#include <csignal>
#include <fstream>

#include "engine/stories/TimelineStore.h"
#include "tests/engine/settings/StoreFiles.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/TempDir.h"

using namespace velmora;

namespace {

using Kind = TimelineEventKind;
constexpr std::int64_t M = 1024 * 1024;
constexpr std::uint64_t operator""_MiB(unsigned long long n) { return n * M; }

ProcessIdentity app(const std::string& key) { return {key, std::nullopt, "App " + key, {100}, false}; }

// A story as the change handling files it; an app story has a baseline and an immediate window ending at `end`.
TimelineEvent story(Kind kind, Date at, const char* key = "a", std::optional<std::uint64_t> baseline = {},
                    std::optional<std::uint64_t> end = {}, std::optional<std::uint64_t> peak = {}) {
    const auto delta = end ? std::int64_t(*end) - std::int64_t(baseline.value_or(*end)) : 0;
    return {.id = Uuid::random(), .timestamp = at, .kind = kind, .title = "Changed", .explanation = "Attribution text.",
            .relatedApp = key ? std::optional(app(key)) : std::nullopt, .baselineFootprintBytes = baseline,
            .immediate = end ? std::optional(ImpactWindow{delta, 4, peak, end}) : std::nullopt, .isPendingWindows = true};
}

// One tick's app snapshots; the app is away when `footprint` is absent.
std::vector<AppMemorySnapshot> tick(const std::string& key, std::optional<std::uint64_t> footprint) {
    std::vector<AppMemorySnapshot> apps{{.identity = app("other")}};
    if (footprint) apps.push_back({.identity = app(key), .footprintBytes = *footprint});
    return apps;
}

std::vector<Uuid> ids(const std::vector<TimelineEvent>& stories) {
    std::vector<Uuid> out;
    for (const auto& e : stories) out.push_back(e.id);
    return out;
}

class TimelineStoreTest : public ::testing::Test {
protected:
    std::string path() const { return dir.file("stories.json"); }
    TimelineStore open(bool fresh = false) {
        if (fresh) std::filesystem::remove(path());
        return TimelineStore(fs, path(), clock);
    }
    Json file() const { return parseJson(fs.read(path()).contents).value_or(Json()); }
    std::vector<std::string> setAside() const { return filesStarting(dir.path(), "stories.json.bad-"); }

    TempDir dir;
    RecordingFileSystem fs;
    FakeClock clock;
    const Date t = clock.now();
};

TEST_F(TimelineStoreTest, MergeWindowAndWhatTakesPart) {
    const auto growth = [&](const char* key, double at) { return story(Kind::largeDelta, t + at, key, 500_MiB, 800_MiB); };
    const std::tuple<const char*, TimelineEvent, TimelineEvent, bool> cases[] = {
        {"120.0 s later", growth("a", 0), growth("a", 120.0), true}, {"120.0 s earlier", growth("a", 120.0), growth("a", 0), true},
        {"120.1 s later", growth("a", 0), growth("a", 120.1), false}, {"120.1 s earlier", growth("a", 120.1), growth("a", 0), false},
        {"another app", growth("a", 0), growth("b", 5), false}, {"no app", growth("a", 0), story(Kind::largeDelta, t + 5, nullptr, 1, 2), false},
        {"release", growth("a", 0), story(Kind::memoryReleased, t + 5, "a", 800_MiB, 600_MiB), true},
        {"sustained", growth("a", 0), story(Kind::sustainedGrowth, t + 5, "a", 400_MiB, 900_MiB), true},
        {"pressure", growth("a", 0), story(Kind::pressureChanged, t + 5), false}, {"swap", growth("a", 0), story(Kind::swapSpike, t + 5), false},
        {"measurement", growth("a", 0), story(Kind::measureSession, t + 5, "a", 1, 2), false},
        {"activity kind", growth("a", 0), story(Kind::appLaunched, t + 5, "a", 1, 2), false},
        {"into a measurement", story(Kind::measureSession, t, "a", 1, 2), growth("a", 5), false},
    };
    for (const auto& [name, first, second, merges] : cases) {
        auto store = open(true);
        int announced = 0;
        store.onNewStory = [&](const TimelineEvent&) { ++announced; };
        store.add(first), store.add(second);
        EXPECT_EQ(std::make_pair(announced, file().size()), std::make_pair(merges ? 1 : 2, std::size_t{merges ? 1u : 2u})) << name;
    }
}

TEST_F(TimelineStoreTest, MergedChangesAreMeasuredFromTheEarlierBaseline) {
    auto store = open();
    auto first = story(Kind::memoryReleased, t, "mail", 1100_MiB, 800_MiB, 1100_MiB);
    auto second = story(Kind::memoryReleased, t + 30, "mail", 800_MiB, 500_MiB, 800_MiB);
    first.confidence = ConfidenceLevel::medium, second.confidence = ConfidenceLevel::low;
    first.linkedActivityIDs = {Uuid::random()}, second.linkedActivityIDs = {first.linkedActivityIDs[0], Uuid::random()};
    second.systemContext = SystemMemorySnapshot{.pressure = MemoryPressureLevel::warning, .timestamp = t + 30};
    store.add(first), store.registerFollowUp(first, "mail", 1100_MiB, 1100_MiB);
    store.updateFollowUps(tick("mail", 1150_MiB), t + 5);  // a peak no window has shown yet
    store.add(second), store.registerFollowUp(second, "mail", 800_MiB, 800_MiB);
    ASSERT_EQ(store.events().size(), 1u);
    const TimelineEvent& m = store.events()[0];
    EXPECT_EQ(std::make_tuple(m.id, m.baselineFootprintBytes, m.immediate, m.kind, m.timestamp, m.confidence, m.systemContext),
              std::make_tuple(first.id, std::optional(1100_MiB), std::optional(ImpactWindow{-600 * M, 4, 1100_MiB, 500_MiB}),
                              Kind::memoryReleased, t + 30, std::optional(ConfidenceLevel::medium), second.systemContext));
    EXPECT_EQ(m.linkedActivityIDs, (std::vector<Uuid>{first.linkedActivityIDs[0], second.linkedActivityIDs[1]}));

    // The follow-up moves to the merged story: its baseline, and the highest footprint seen.
    EXPECT_FALSE(store.hasPendingFollowUp(second.id));
    store.updateFollowUps(tick("mail", 500_MiB), t + 38), store.updateFollowUps(tick("mail", 490_MiB), t + 75);
    EXPECT_EQ(m.immediate, (ImpactWindow{-600 * M, 8, 1150_MiB, 500_MiB}));
    EXPECT_EQ(m.settled, (ImpactWindow{-610 * M, 45, 1150_MiB, 490_MiB}));

    store.add(story(Kind::memoryReleased, t + 80, "mail", 490_MiB, 1300_MiB));  // back above where it began
    EXPECT_EQ(std::make_pair(m.immediate, m.kind), std::make_pair(std::optional(ImpactWindow{200 * M, 8, 1150_MiB, 1300_MiB}), Kind::largeDelta));

    auto sustained = story(Kind::sustainedGrowth, t + 90, "mail", 1300_MiB, 1400_MiB);
    sustained.title = "Mail kept growing", sustained.explanation = "Long steady growth.";
    store.add(sustained);  // takes the sustained-growth text and kind, which later changes keep
    auto growth = story(Kind::largeDelta, t + 100, "mail", 1400_MiB, 1500_MiB);
    growth.explanation = "Around then:\n• Opened a big file\n\n• Exported a movie";
    store.add(growth);
    EXPECT_EQ(std::make_tuple(m.kind, m.title, m.explanation),
              std::make_tuple(Kind::sustainedGrowth, "Mail kept growing", "Long steady growth.\n• Opened a big file\n• Exported a movie"));

    // The change merged away is measured on the climb's story, from its baseline; the climb stays a climb.
    store.registerFollowUp(growth, "mail", 1400_MiB, 1500_MiB);
    store.updateFollowUps(tick("mail", 1450_MiB), t + 145);
    EXPECT_EQ(std::make_tuple(m.kind, m.title, m.settled, m.isPendingWindows),
              std::make_tuple(Kind::sustainedGrowth, "Mail kept growing", std::optional(ImpactWindow{350 * M, 45, 1500_MiB, 1450_MiB}), false));
}

// Grown, freed 25 s later, grown again: the story that said "No lasting change measured." while the
// change was undone is worded from its change again, not from that line.
TEST_F(TimelineStoreTest, AGrowthMergedIntoAStoryOfNoLastingChangeIsWordedFromItsChange) {
    auto store = open(true);
    const auto filed = [&](Kind kind, double at, std::uint64_t from, std::uint64_t to) {
        auto s = story(kind, t + at, "hog", from, to, std::max(from, to));
        s.title = "App hog used more memory";
        s.explanation = kind == Kind::largeDelta ? "App hog grew by about 600 MB." : "App hog shrank by about 600 MB.";
        store.add(s);
    };
    filed(Kind::largeDelta, 0, 200_MiB, 800_MiB);
    filed(Kind::memoryReleased, 25, 800_MiB, 200_MiB);
    ASSERT_EQ(store.events().size(), 1u);
    EXPECT_EQ(store.events()[0].explanation, "No lasting change measured.");
    filed(Kind::largeDelta, 90, 200_MiB, 800_MiB);
    ASSERT_EQ(store.events().size(), 1u);
    const TimelineEvent& m = store.events()[0];
    EXPECT_EQ(std::make_tuple(m.title, m.explanation, m.immediate->deltaBytes),
              std::make_tuple("App hog used more memory",
                              "Grew while this app was running.\nWorth watching: Half a gig or more.", 600 * M));
}

// A worker pool that ends within two minutes of a slow climb's story: what is left is the change,
// not a climb, unless the app still ends above where it began.
TEST_F(TimelineStoreTest, AClimbMergedWithNoGrowthLeftIsWordedFromItsChangeAndOneStillUpStaysAClimb) {
    // As the app files it: measured over minutes, no immediate window.
    const auto climb = [&](double at, std::uint64_t from, std::uint64_t to, std::string during = "") {
        auto s = story(Kind::sustainedGrowth, t + at, "pool", from);
        s.title = "App pool continued growing while idle";
        s.explanation = "App pool kept growing for about 12 minutes (+ 778.1 MB).\n" + during +
                        "It grew even while you weren\u2019t using the computer much \u2014 worth a look.";
        s.longerTerm = ImpactWindow{std::int64_t(to) - std::int64_t(from), 720, to, to};
        return s;
    };
    const auto change = [&](double at, std::uint64_t from, std::uint64_t to) {
        auto s = story(from > to ? Kind::memoryReleased : Kind::largeDelta, t + at, "pool", from, to, std::max(from, to));
        s.title = from > to ? "App pool freed memory" : "App pool used more memory";
        s.explanation = from > to ? "App pool shrank by about 730 MB.\nMemory came free \u2014 often after closing tabs, windows, or quitting."
                                  : "App pool grew by about 120 MB.\nWe saw you use App pool, but not exactly which click or page caused this.";
        return s;
    };
    const std::string climbText = climb(0, 1, 2).explanation, freed = "Memory came free from this app.\nHelps: Memory came free.";
    struct Case { const char* name; TimelineEvent first, second; Kind kind; std::string title, explanation; std::int64_t delta; };
    const Case cases[] = {
        // What the climb's text says it was doing is not what the release was about.
        {"the climb filed after the release", change(0, 1000_MiB, 270_MiB), climb(60, 200_MiB, 978_MiB, "During that time: Ran a build.\n"),
         Kind::memoryReleased, "App pool freed memory", freed, -730 * M},
        {"a release below where the climb began", climb(0, 200_MiB, 978_MiB, "During that time: Ran a build.\n"), change(60, 978_MiB, 150_MiB),
         Kind::memoryReleased, "App pool freed memory", freed, -50 * M},
        {"back where the climb began", climb(0, 200_MiB, 978_MiB), change(60, 978_MiB, 200_MiB),
         Kind::largeDelta, "App pool", "No lasting change measured.", 0},
        {"a release that leaves it above", climb(0, 200_MiB, 978_MiB), change(60, 978_MiB, 500_MiB),
         Kind::sustainedGrowth, "App pool continued growing while idle", climbText, 300 * M},
        {"the climb filed after a growth", change(0, 500_MiB, 800_MiB), climb(60, 200_MiB, 978_MiB),
         Kind::sustainedGrowth, "App pool continued growing while idle", climbText, 300 * M},
    };
    for (const auto& c : cases) {
        auto store = open(true);
        store.add(c.first), store.add(c.second);
        ASSERT_EQ(store.events().size(), 1u) << c.name;
        const TimelineEvent& m = store.events()[0];
        EXPECT_EQ(std::make_tuple(m.kind, m.title, m.explanation, m.immediate->deltaBytes),
                  std::make_tuple(c.kind, c.title, c.explanation, c.delta)) << c.name;
    }

    // A growth merged into the climb is measured on it; the climb stays one until a window finds it below its start.
    for (const auto& [name, after8, title] : {std::tuple{"settles below", 1100_MiB, "App pool continued growing while idle"},
                                              std::tuple{"below at once", 150_MiB, "App pool freed memory"}}) {
        auto store = open(true);
        const auto growth = change(30, 978_MiB, 1100_MiB);
        store.add(climb(0, 200_MiB, 978_MiB)), store.add(growth), store.registerFollowUp(growth, "pool", 978_MiB, 1100_MiB);
        const TimelineEvent& m = store.events()[0];
        store.updateFollowUps(tick("pool", after8), t + 38);
        EXPECT_EQ(m.title, title) << name;
        store.updateFollowUps(tick("pool", 150_MiB), t + 75);
        EXPECT_EQ(std::make_tuple(m.kind, m.title, m.explanation, m.settled->deltaBytes),
                  std::make_tuple(Kind::memoryReleased, "App pool freed memory", freed, -50 * M)) << name;
    }
}

TEST_F(TimelineStoreTest, WithoutEndFootprintsOnlyTheBaselineMovesAndTheTargetNeedsUnder120Seconds) {
    auto first = story(Kind::largeDelta, t, "a", 500_MiB);
    const auto second = story(Kind::largeDelta, t + 120, "a", 700_MiB);
    auto earlier = story(Kind::memoryReleased, t - 50, "a", 300_MiB);
    first.confidence = ConfidenceLevel::low, earlier.confidence = ConfidenceLevel::high;
    EXPECT_FALSE(TimelineStore::isRepeatDelta(first, "a", second));
    EXPECT_TRUE(TimelineStore::isRepeatDelta(first, "a", story(Kind::memoryReleased, t - 119.9)));
    EXPECT_FALSE(TimelineStore::isRepeatDelta(first, "b", story(Kind::largeDelta, t, "b")));
    auto store = open();
    for (const auto& e : {first, second, earlier}) store.add(e);
    first.baselineFootprintBytes = 300_MiB;  // the earliest baseline; nothing else moves
    EXPECT_EQ(store.events(), std::vector<TimelineEvent>{first});
}

TEST_F(TimelineStoreTest, CapsAnnouncementsAndTheLastDayInTheFile) {
    auto store = open();
    std::vector<TimelineEvent> announced;
    store.onNewStory = [&](const TimelineEvent& e) { announced.push_back(e); };
    const auto first = story(Kind::largeDelta, t, "a", 500_MiB, 700_MiB);
    store.add(first), store.registerFollowUp(first, "a", 500_MiB, 700_MiB);
    EXPECT_EQ(std::make_pair(announced[0].title, announced[0]), std::make_pair(std::string("App a · Attribution text."), store.events()[0]))
        << "announced reworded, as stored";
    store.add(story(Kind::swapSpike, t - 86401));  // kept in memory, not in the file
    for (int i = 0; i < 499; ++i) store.add(story(Kind::pressureChanged, t - 86400 + i));
    ASSERT_EQ(std::make_pair(announced.size(), store.events().size()), std::make_pair(std::size_t{501}, std::size_t{500}));
    EXPECT_EQ(std::make_pair(store.events().front().id, store.events().back().id), std::make_pair(announced.back().id, announced[1].id));
    EXPECT_EQ(std::make_pair(file().size(), file()[498]["timestamp"]), std::make_pair(std::size_t{499}, Json((t - 86400).secondsSince2001)));
    const int writes = fs.writes;
    store.update(story(Kind::swapSpike, t));            // unknown id: nothing to save
    store.updateFollowUps(tick("a", 700_MiB), t + 10);  // its story is gone: the follow-up ends
    EXPECT_EQ(std::make_pair(fs.writes, store.hasPendingFollowUp(first.id)), std::make_pair(writes, false));
    for (int i = 0; i < 7201; ++i) store.recordSystemSnapshot(SystemMemorySnapshot{.timestamp = Date{double(i)}});
    EXPECT_EQ(std::make_pair(store.systemHistory().size(), store.systemHistory().front().timestamp), std::make_pair(std::size_t{7200}, Date{1}));
}

TEST_F(TimelineStoreTest, FollowUpsLandAtTheirMoments) {
    struct Step { double at; std::optional<std::uint64_t> footprint; int windowsSoFar; bool pending; };  // no footprint: app away
    using Window = std::optional<ImpactWindow>;
    struct Case { const char* name; std::vector<Step> steps; Window immediate, settled{}, longerTerm{}; Kind kind = Kind::largeDelta; };
    const auto w = [](std::int64_t delta, double at, std::uint64_t peak, std::uint64_t end) { return ImpactWindow{delta * M, at, peak * M, end * M}; };
    const Case cases[] = {
        {"on the dot", {{7.9, 900_MiB, 0, 1}, {8, 900_MiB, 1, 1}, {44.9, 1000_MiB, 1, 1}, {45, 880_MiB, 2, 1}, {179.9, 960_MiB, 2, 1}, {180, 921_MiB, 3, 0}},
         w(400, 8, 900, 900), w(380, 45, 1000, 880), w(21, 180, 1000, 921)},
        {"exactly 20 MiB later", {{8, 900_MiB, 1, 1}, {45, 900_MiB, 2, 1}, {180, 920_MiB, 2, 0}}, w(400, 8, 900, 900), w(400, 45, 900, 900)},
        {"a byte over 20 MiB down", {{8, 900_MiB, 1, 1}, {45, 900_MiB, 2, 1}, {180, 880_MiB - 1, 3, 0}}, w(400, 8, 900, 900),
         w(400, 45, 900, 900), ImpactWindow{-20 * M - 1, 180, 900_MiB, 880_MiB - 1}},
        {"settles below the baseline", {{8, 600_MiB, 1, 1}, {45, 499_MiB, 2, 1}}, w(100, 8, 600, 600), w(-1, 45, 600, 499), {}, Kind::memoryReleased},
        {"settles on the baseline", {{8, 600_MiB, 1, 1}, {45, 500_MiB, 2, 1}}, w(100, 8, 600, 600), w(0, 45, 600, 500)},
        {"missed ticks", {{50, 700_MiB, 2, 1}, {250, 700_MiB, 2, 0}}, w(200, 50, 700, 700), w(200, 50, 700, 700)},
        {"app away, back later", {{8, {}, 0, 1}, {30, {}, 0, 1}, {46, 650_MiB, 2, 1}}, w(150, 46, 650, 650), w(150, 46, 650, 650)},
        {"away through the late check", {{8, 700_MiB, 1, 1}, {45, 700_MiB, 2, 1}, {200, {}, 2, 1}, {200.5, {}, 2, 0}},
         w(200, 8, 700, 700), w(200, 45, 700, 700)},
        {"clock set back an hour", {{-3600, 700_MiB, 0, 1}, {-3592, 710_MiB, 1, 1}}, w(210, 8, 710, 710)},
    };
    for (const auto& c : cases) {
        auto store = open(true);
        const auto filed = story(Kind::largeDelta, t, "app", 500_MiB, 800_MiB, 800_MiB);
        store.add(filed), store.registerFollowUp(filed, "app", 500_MiB, 500_MiB);
        int windows = 0;
        for (const auto& step : c.steps) {
            const int writes = fs.writes;
            store.updateFollowUps(tick("app", step.footprint), t + step.at);
            const TimelineEvent& e = store.events()[0];
            const int now = (e.immediate->duration != 4) + e.settled.has_value() + e.longerTerm.has_value();
            // One save per new window; the story waits for windows until the settled one.
            EXPECT_EQ(std::make_tuple(now, fs.writes - writes, e.isPendingWindows, store.hasPendingFollowUp(filed.id)),
                      std::make_tuple(step.windowsSoFar, now - windows, now < 2, step.pending)) << c.name << " at " << step.at;
            windows = now;
        }
        const TimelineEvent e = open().events().at(0);  // as written to the file
        EXPECT_EQ(std::tie(e.immediate, e.settled, e.longerTerm, e.kind), std::tie(c.immediate, c.settled, c.longerTerm, c.kind)) << c.name;
    }
}

TEST_F(TimelineStoreTest, LoadingKeepsTheLastDayUpToTomorrowAtMost500AndNoPendingWindows) {
    // Written while inside the day; and two from a clock set ahead, one of them beyond tomorrow.
    std::vector<TimelineEvent> stories{story(Kind::swapSpike, t - 86401), story(Kind::swapSpike, t + 86401), story(Kind::swapSpike, t + 86399)};
    for (int i = 0; i < 620; ++i) stories.push_back(story(Kind::largeDelta, t - 86400 + i, ("a" + std::to_string(i)).c_str(), 1, 2));
    stories.insert(stories.begin() + 5, stories[4]);  // the same story twice
    std::string text = encode(stories).dump();
    text.back() = ',';  // damage past the 500th story: it is never read, so the file is not set aside
    fs.writeAtomically(path(), text + "{\"id\":");
    auto store = open();
    ASSERT_EQ(store.events().size(), 500u);
    EXPECT_EQ(std::vector<Uuid>({store.events()[0].id, store.events()[1].id, store.events()[3].id}),
              std::vector<Uuid>({stories[2].id, stories[3].id, stories[6].id}));  // exactly a day old: kept
    EXPECT_TRUE(std::none_of(store.events().begin(), store.events().end(), [](auto& e) { return e.isPendingWindows; }));
    EXPECT_TRUE(setAside().empty());
}

TEST_F(TimelineStoreTest, DamagedFilesKeepWhatCanBeReadAndAreSetAside) {
    auto named = story(Kind::largeDelta, t, "a", 100_MiB, 400_MiB);
    named.relatedApp->displayName = "notes\xFF\xFE.txt";  // a window title with invalid UTF-8 still saves
    open().add(named);
    EXPECT_EQ(ids(open().events()), std::vector{named.id});

    const auto a = story(Kind::largeDelta, t, "a", 1, 2), b = story(Kind::swapSpike, t);
    Json badKind = story(Kind::swapSpike, t).toJson(), missing = badKind;
    badKind["kind"] = "largeGrowth";
    missing.erase("primarySource");
    const std::string both = Json::array({a.toJson(), b.toJson()}).dump();
    const std::pair<std::string, std::vector<Uuid>> cases[] = {
        {Json::array({a.toJson(), badKind, missing, 7, nullptr, b.toJson()}).dump(), {a.id, b.id}},
        {both.substr(0, both.size() - 30), {a.id}},  // cut short
        {a.toJson().dump(), {}},                     // not an array
    };
    EXPECT_TRUE(setAside().empty());
    for (const auto& [contents, kept] : cases) {
        for (const auto& f : setAside()) std::filesystem::remove(f);
        std::ofstream(path(), std::ios::trunc | std::ios::binary) << contents;
        auto store = open();
        EXPECT_EQ(ids(store.events()), kept);
        ASSERT_EQ(setAside().size(), 1u);
        EXPECT_EQ(fs.read(path()).contents, contents) << "the original stays until a good file replaces it";
        store.add(story(Kind::pressureChanged, t));
        EXPECT_EQ(file().size(), kept.size() + 1);
        EXPECT_EQ(fs.read(setAside()[0]).contents, contents);
    }
    std::filesystem::remove(setAside()[0]);
    std::filesystem::resize_file(path(), 64 * M + 1);  // sparse: costs no disk
    EXPECT_TRUE(open().events().empty());
    ASSERT_EQ(setAside().size(), 1u);
    EXPECT_EQ(std::filesystem::file_size(setAside()[0]), 64 * M + 1);
}

TEST_F(TimelineStoreTest, KilledWhileSavingLeavesAWholeFile) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {  // saves until killed, acknowledging every finished save
        auto store = open();
        for (int i = 0; ::write(fds[1], "x", 1) == 1; ++i)
            store.add(story(Kind::largeDelta, t + i * 0.3, ("app" + std::to_string(i % 700)).c_str(), 1, 2));
        ::_exit(1);
    }
    ::close(fds[1]);
    int saved = -1;
    for (char c; saved < 40 && ::read(fds[0], &c, 1) == 1;) ++saved;
    ::kill(child, SIGKILL), ::waitpid(child, nullptr, 0), ::close(fds[0]);
    ASSERT_EQ(saved, 40);

    const Json written = file();
    ASSERT_TRUE(written.is_array() && written.size() >= 40) << "the file is not whole";
    std::ofstream(dir.file(".stories.json." + Uuid::random().toString() + ".tmp")) << "[{\"id\":";
    EXPECT_EQ(open().events().size(), written.size());
    EXPECT_TRUE(setAside().empty());
    EXPECT_TRUE(filesStarting(dir.path(), ".stories.json.").empty()) << "a temporary outlived the next start";
}

}  // namespace
