#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/stories/TimelineStore.h"
#include "platform/linux/PosixFileSystem.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/TempDir.h"

using namespace velmora;

namespace {

constexpr std::uint64_t MiB = 1024 * 1024;

// The real file system, counting the files it writes.
class CountingFileSystem final : public FileSystem {
public:
    ReadResult read(const std::string& path) const override { return real.read(path); }
    bool writeAtomically(const std::string& path, const std::string& contents) override {
        ++writes;
        return real.writeAtomically(path, contents);
    }
    bool move(const std::string& from, const std::string& to) override { return real.move(from, to); }
    bool exists(const std::string& path) const override { return real.exists(path); }
    PosixFileSystem real;
    int writes = 0;
};

ProcessIdentity app(const std::string& key) { return ProcessIdentity{key, std::nullopt, "App " + key, {100}, false}; }

ImpactWindow window(std::int64_t delta, double duration, std::optional<std::uint64_t> peak, std::optional<std::uint64_t> end) {
    return ImpactWindow{delta, duration, peak, end};
}

// An app story as the change handling files it: baseline and an immediate window ending at `end`.
TimelineEvent appStory(const std::string& key, TimelineEventKind kind, Date at, std::optional<std::uint64_t> baseline,
                       std::optional<std::uint64_t> end, std::optional<std::uint64_t> peak = std::nullopt) {
    TimelineEvent e;
    e.id = Uuid::random();
    e.timestamp = at;
    e.kind = kind;
    e.title = "App " + key + " changed";
    e.explanation = "Attribution text.";
    e.relatedApp = app(key);
    e.baselineFootprintBytes = baseline;
    if (end) {
        const std::int64_t delta = static_cast<std::int64_t>(*end) - static_cast<std::int64_t>(baseline.value_or(*end));
        e.immediate = window(delta, 4, peak, end);
    }
    e.isPendingWindows = true;
    e.primarySource = SensorSource::significantChange;
    return e;
}

TimelineEvent machineStory(TimelineEventKind kind, Date at) {
    TimelineEvent e;
    e.id = Uuid::random();
    e.timestamp = at;
    e.kind = kind;
    e.title = "Machine";
    e.explanation = "Whole machine.";
    e.primarySource = SensorSource::systemPressure;
    return e;
}

AppMemorySnapshot sample(const std::string& key, std::uint64_t footprint, Date at) {
    AppMemorySnapshot s;
    s.identity = app(key);
    s.footprintBytes = footprint;
    s.timestamp = at;
    return s;
}

class TimelineStoreTest : public ::testing::Test {
protected:
    std::string path() const { return dir.file("stories.json"); }
    TimelineStore open() { return TimelineStore(fs, path(), clock); }
    Json file() const {
        auto r = fs.read(path());
        if (r.status != FileSystem::ReadStatus::ok) return Json();
        return parseJson(r.contents).value_or(Json("unparseable"));
    }
    std::vector<std::string> setAsideFiles() const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            if (e.path().filename().string().starts_with("stories.json.bad-")) out.push_back(e.path().string());
        return out;
    }
    const TimelineEvent* stored(const TimelineStore& store, const Uuid& id) const {
        for (const auto& e : store.events())
            if (e.id == id) return &e;
        return nullptr;
    }

    TempDir dir;
    CountingFileSystem fs;
    FakeClock clock;
};

TEST_F(TimelineStoreTest, MergeWindowAndWhatTakesPart) {
    struct Case {
        const char* name;
        TimelineEvent first, second;
        bool merges;
    };
    const Date t = clock.now();
    const auto growth = [&](const char* key, double at) { return appStory(key, TimelineEventKind::largeDelta, t + at, 500 * MiB, 800 * MiB); };
    TimelineEvent noApp = growth("a", 10);
    noApp.relatedApp.reset();
    const Case cases[] = {
        {"same moment", growth("a", 0), growth("a", 0), true},
        {"120.0 s later", growth("a", 0), growth("a", 120.0), true},
        {"120.0 s earlier", growth("a", 120.0), growth("a", 0), true},
        {"120.1 s later", growth("a", 0), growth("a", 120.1), false},
        {"120.1 s earlier", growth("a", 120.1), growth("a", 0), false},
        {"another app", growth("a", 0), growth("b", 5), false},
        {"release into growth", growth("a", 0), appStory("a", TimelineEventKind::memoryReleased, t + 5, 800 * MiB, 600 * MiB), true},
        {"sustained into growth", growth("a", 0), appStory("a", TimelineEventKind::sustainedGrowth, t + 5, 400 * MiB, 900 * MiB), true},
        {"incoming without app", growth("a", 0), noApp, false},
        {"pressure", growth("a", 0), [&] { auto e = machineStory(TimelineEventKind::pressureChanged, t + 5); e.relatedApp = app("a"); return e; }(), false},
        {"swap", growth("a", 0), [&] { auto e = machineStory(TimelineEventKind::swapSpike, t + 5); e.relatedApp = app("a"); return e; }(), false},
        {"measurement", growth("a", 0), appStory("a", TimelineEventKind::measureSession, t + 5, 1, 2), false},
        {"activity kind", growth("a", 0), appStory("a", TimelineEventKind::appLaunched, t + 5, 1, 2), false},
        {"into a measurement", appStory("a", TimelineEventKind::measureSession, t, 1, 2), growth("a", 5), false},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(path());
        auto store = open();
        int newStories = 0;
        store.onNewStory = [&](const TimelineEvent&) { ++newStories; };
        store.add(c.first);
        store.add(c.second);
        EXPECT_EQ(store.events().size(), c.merges ? 1u : 2u) << c.name;
        EXPECT_EQ(newStories, c.merges ? 1 : 2) << c.name;
        EXPECT_EQ(store.events().back().id, c.first.id) << c.name;
        EXPECT_EQ(file().size(), store.events().size()) << c.name;
    }
}

TEST_F(TimelineStoreTest, MergedReleaseMeasuresFromTheEarlierBaseline) {
    auto store = open();
    const Date t = clock.now();
    auto first = appStory("mail", TimelineEventKind::memoryReleased, t, 1100 * MiB, 800 * MiB, 1100 * MiB);
    first.confidence = ConfidenceLevel::medium;
    first.linkedActivityIDs = {Uuid::random()};
    auto second = appStory("mail", TimelineEventKind::memoryReleased, t + 30, 800 * MiB, 500 * MiB, 800 * MiB);
    second.confidence = ConfidenceLevel::low;
    second.linkedActivityIDs = {first.linkedActivityIDs[0], Uuid::random()};
    second.systemContext = SystemMemorySnapshot{MemoryPressureLevel::warning, 0, 0, 1, 2, t + 30};
    store.add(first);
    store.add(second);

    ASSERT_EQ(store.events().size(), 1u);
    const TimelineEvent& merged = store.events()[0];
    EXPECT_EQ(merged.id, first.id);
    EXPECT_EQ(merged.baselineFootprintBytes, 1100 * MiB);
    EXPECT_EQ(merged.immediate, window(-600 * static_cast<std::int64_t>(MiB), 4, 1100 * MiB, 500 * MiB));
    EXPECT_EQ(merged.kind, TimelineEventKind::memoryReleased);
    EXPECT_EQ(merged.timestamp, t + 30);
    EXPECT_EQ(merged.confidence, ConfidenceLevel::medium);
    EXPECT_EQ(merged.systemContext, second.systemContext);
    EXPECT_EQ(merged.linkedActivityIDs, (std::vector<Uuid>{first.linkedActivityIDs[0], second.linkedActivityIDs[1]}));
    EXPECT_EQ(merged.title, "App mail freed memory");
}

TEST_F(TimelineStoreTest, MergeOfAGrowthThatTurnsIntoARelease) {
    auto store = open();
    const Date t = clock.now();
    store.add(appStory("a", TimelineEventKind::largeDelta, t, 500 * MiB, 900 * MiB));
    store.add(appStory("a", TimelineEventKind::largeDelta, t + 60, 900 * MiB, 300 * MiB));
    EXPECT_EQ(store.events()[0].kind, TimelineEventKind::memoryReleased);
    EXPECT_EQ(store.events()[0].immediate->deltaBytes, -200 * static_cast<std::int64_t>(MiB));
    EXPECT_FALSE(store.events()[0].confidence.has_value());  // absent and absent stays absent
}

TEST_F(TimelineStoreTest, SustainedGrowthTextWinsEitherWay) {
    const Date t = clock.now();
    {
        auto store = open();
        store.add(appStory("a", TimelineEventKind::largeDelta, t, 500 * MiB, 700 * MiB));
        auto sustained = appStory("a", TimelineEventKind::sustainedGrowth, t + 100, 400 * MiB, 900 * MiB);
        sustained.title = "App a kept growing";
        sustained.explanation = "Long steady growth.";
        store.add(sustained);
        ASSERT_EQ(store.events().size(), 1u);
        EXPECT_EQ(store.events()[0].kind, TimelineEventKind::sustainedGrowth);
        EXPECT_EQ(store.events()[0].title, "App a kept growing");
        EXPECT_EQ(store.events()[0].explanation, "Long steady growth.");
    }
    std::filesystem::remove(path());
    auto store = open();
    auto sustained = appStory("a", TimelineEventKind::sustainedGrowth, t, 400 * MiB, 900 * MiB);
    sustained.title = "App a kept growing";
    sustained.explanation = "Long steady growth.";
    store.add(sustained);
    auto growth = appStory("a", TimelineEventKind::largeDelta, t + 10, 900 * MiB, 1000 * MiB);
    growth.explanation = "What you were doing around then:\n• Opened a big file\n• Exported a movie";
    store.add(growth);
    ASSERT_EQ(store.events().size(), 1u);
    EXPECT_EQ(store.events()[0].kind, TimelineEventKind::sustainedGrowth);
    EXPECT_EQ(store.events()[0].title, "App a kept growing");
    EXPECT_EQ(store.events()[0].explanation, "Long steady growth.\n• Opened a big file\n• Exported a movie");
    EXPECT_EQ(store.events()[0].immediate->deltaBytes, 600 * static_cast<std::int64_t>(MiB));
}

TEST_F(TimelineStoreTest, MergeWithoutAnEndFootprintOnlyMovesTheBaseline) {
    auto store = open();
    const Date t = clock.now();
    auto first = appStory("a", TimelineEventKind::largeDelta, t, 500 * MiB, std::nullopt);
    first.confidence = ConfidenceLevel::low;
    store.add(first);
    auto second = appStory("a", TimelineEventKind::memoryReleased, t + 50, 300 * MiB, std::nullopt);
    second.confidence = ConfidenceLevel::high;
    second.timestamp = t - 50;  // earlier than the stored story: its baseline is the earlier one
    store.add(second);
    ASSERT_EQ(store.events().size(), 1u);
    TimelineEvent expected = first;
    expected.baselineFootprintBytes = 300 * MiB;
    EXPECT_EQ(store.events()[0], expected);
}

TEST_F(TimelineStoreTest, CapKeepsTheNewest500AndAnnouncesEveryInsert) {
    auto store = open();
    std::vector<Uuid> announced;
    store.onNewStory = [&](const TimelineEvent& e) { announced.push_back(e.id); };
    std::vector<Uuid> added;
    for (int i = 0; i < 501; ++i) {
        auto e = machineStory(TimelineEventKind::pressureChanged, clock.now() + i);
        added.push_back(e.id);
        store.add(e);
    }
    EXPECT_EQ(announced, added);
    ASSERT_EQ(store.events().size(), 500u);
    EXPECT_EQ(store.events().front().id, added.back());
    EXPECT_EQ(store.events().back().id, added[1]);
    EXPECT_EQ(file().size(), 500u);
}

TEST_F(TimelineStoreTest, NewStoryIsAnnouncedReworded) {
    auto store = open();
    std::optional<TimelineEvent> announced;
    store.onNewStory = [&](const TimelineEvent& e) { announced = e; };
    auto e = appStory("a", TimelineEventKind::largeDelta, clock.now(), 500 * MiB, 700 * MiB);
    store.add(e);
    ASSERT_TRUE(announced);
    EXPECT_EQ(announced->title, "App a · Attribution text.");
    EXPECT_EQ(*announced, store.events()[0]);
    // An update goes through the same rewording.
    auto swap = machineStory(TimelineEventKind::swapSpike, clock.now());
    store.add(swap);
    swap.title = "changed by hand";
    store.update(swap);
    EXPECT_EQ(store.events()[0].title, "Mac started using disk for memory");
}

TEST_F(TimelineStoreTest, UpdateOfAnUnknownStoryWritesNothing) {
    auto store = open();
    store.add(machineStory(TimelineEventKind::swapSpike, clock.now()));
    const int writes = fs.writes;
    store.update(machineStory(TimelineEventKind::swapSpike, clock.now()));
    EXPECT_EQ(fs.writes, writes);
    EXPECT_EQ(store.events().size(), 1u);
}

struct FollowUpStep {
    double at;
    std::optional<std::uint64_t> footprint;  // absent: the app is not running this tick
    bool immediate, settled, longerTerm, pending;
};

TEST_F(TimelineStoreTest, FollowUpsLandAtTheirMoments) {
    const std::int64_t M = MiB;
    struct Case {
        const char* name;
        std::vector<FollowUpStep> steps;
        std::optional<ImpactWindow> immediate, settled, longerTerm;
        TimelineEventKind kind;
    };
    const Case cases[] = {
        {"on the dot",
         {{7.9, 900 * MiB, false, false, false, true},
          {8.0, 900 * MiB, true, false, false, true},
          {44.9, 1000 * MiB, true, false, false, true},
          {45.0, 880 * MiB, true, true, false, true},
          {179.9, 960 * MiB, true, true, false, true},
          {180.0, 921 * MiB, true, true, true, false}},
         window(400 * M, 8.0, 900 * MiB, 900 * MiB), window(380 * M, 45.0, 1000 * MiB, 880 * MiB),
         window(21 * M, 180.0, 1000 * MiB, 921 * MiB), TimelineEventKind::largeDelta},
        {"exactly 20 MiB later",
         {{8, 900 * MiB, true, false, false, true}, {45, 900 * MiB, true, true, false, true}, {180, 920 * MiB, true, true, false, false}},
         window(400 * M, 8, 900 * MiB, 900 * MiB), window(400 * M, 45, 900 * MiB, 900 * MiB), std::nullopt, TimelineEventKind::largeDelta},
        {"one byte over 20 MiB, downwards",
         {{8, 900 * MiB, true, false, false, true}, {45, 900 * MiB, true, true, false, true}, {180, 880 * MiB - 1, true, true, true, false}},
         window(400 * M, 8, 900 * MiB, 900 * MiB), window(400 * M, 45, 900 * MiB, 900 * MiB),
         window(-20 * M - 1, 180, 900 * MiB, 880 * MiB - 1), TimelineEventKind::largeDelta},
        {"settles below the baseline",
         {{8, 600 * MiB, true, false, false, true}, {45, 499 * MiB, true, true, false, true}},
         window(100 * M, 8, 600 * MiB, 600 * MiB), window(-1 * M, 45, 600 * MiB, 499 * MiB), std::nullopt, TimelineEventKind::memoryReleased},
        {"settles on the baseline",
         {{8, 600 * MiB, true, false, false, true}, {45, 500 * MiB, true, true, false, true}},
         window(100 * M, 8, 600 * MiB, 600 * MiB), window(0, 45, 600 * MiB, 500 * MiB), std::nullopt, TimelineEventKind::largeDelta},
        {"missed ticks",
         {{50, 700 * MiB, true, true, false, true}, {250, 700 * MiB, true, true, false, false}},
         window(200 * M, 50, 700 * MiB, 700 * MiB), window(200 * M, 50, 700 * MiB, 700 * MiB), std::nullopt, TimelineEventKind::largeDelta},
        {"app away, back later",
         {{8, std::nullopt, false, false, false, true}, {30, std::nullopt, false, false, false, true}, {46, 650 * MiB, true, true, false, true}},
         window(150 * M, 46, 650 * MiB, 650 * MiB), window(150 * M, 46, 650 * MiB, 650 * MiB), std::nullopt, TimelineEventKind::largeDelta},
        {"away through the late check",
         {{8, 700 * MiB, true, false, false, true}, {45, 700 * MiB, true, true, false, true}, {200, std::nullopt, true, true, false, true},
          {200.5, std::nullopt, true, true, false, false}},
         window(200 * M, 8, 700 * MiB, 700 * MiB), window(200 * M, 45, 700 * MiB, 700 * MiB), std::nullopt, TimelineEventKind::largeDelta},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(path());
        auto store = open();
        const Date t = clock.now();
        auto story = appStory("app", TimelineEventKind::largeDelta, t, 500 * MiB, 800 * MiB, 800 * MiB);
        store.add(story);
        store.registerFollowUp(story, "app", 500 * MiB, 500 * MiB);
        for (const auto& step : c.steps) {
            std::vector<AppMemorySnapshot> apps{sample("other", 1, t + step.at)};
            if (step.footprint) apps.push_back(sample("app", *step.footprint, t + step.at));
            store.updateFollowUps(apps, t + step.at);
            const TimelineEvent* e = stored(store, story.id);
            ASSERT_NE(e, nullptr);
            EXPECT_EQ(e->immediate->duration > 4, step.immediate) << c.name << " at " << step.at;
            EXPECT_EQ(e->settled.has_value(), step.settled) << c.name << " at " << step.at;
            EXPECT_EQ(e->isPendingWindows, !step.settled) << c.name << " at " << step.at;
            EXPECT_EQ(e->longerTerm.has_value(), step.longerTerm) << c.name << " at " << step.at;
            EXPECT_EQ(store.hasPendingFollowUp(story.id), step.pending) << c.name << " at " << step.at;
        }
        const TimelineEvent* e = stored(store, story.id);
        EXPECT_EQ(e->immediate, c.immediate) << c.name;
        EXPECT_EQ(e->settled, c.settled) << c.name;
        EXPECT_EQ(e->longerTerm, c.longerTerm) << c.name;
        EXPECT_EQ(e->kind, c.kind) << c.name;
        EXPECT_EQ(open().events()[0].settled, c.settled) << c.name << ": written to the file";
    }
}

TEST_F(TimelineStoreTest, OneLateTickWritesBothWindowsWithTwoSaves) {
    auto store = open();
    const Date t = clock.now();
    auto story = appStory("app", TimelineEventKind::largeDelta, t, 500 * MiB, 800 * MiB);
    store.add(story);
    store.registerFollowUp(story, "app", 500 * MiB, 800 * MiB);
    const int writes = fs.writes;
    store.updateFollowUps({sample("app", 700 * MiB, t + 50)}, t + 50);
    EXPECT_EQ(fs.writes - writes, 2);
}

TEST_F(TimelineStoreTest, FollowUpOfAMergedStoryMeasuresTheWholeChange) {
    auto store = open();
    const Date t = clock.now();
    auto first = appStory("mail", TimelineEventKind::memoryReleased, t, 1100 * MiB, 800 * MiB, 1100 * MiB);
    store.add(first);
    store.registerFollowUp(first, "mail", 1100 * MiB, 1100 * MiB);
    store.updateFollowUps({sample("mail", 800 * MiB, t + 20)}, t + 20);  // the first immediate window

    auto second = appStory("mail", TimelineEventKind::memoryReleased, t + 30, 800 * MiB, 500 * MiB, 800 * MiB);
    store.add(second);
    store.registerFollowUp(second, "mail", 800 * MiB, 800 * MiB);
    EXPECT_TRUE(store.hasPendingFollowUp(first.id));
    EXPECT_FALSE(store.hasPendingFollowUp(second.id));

    store.updateFollowUps({sample("mail", 500 * MiB, t + 38)}, t + 38);
    store.updateFollowUps({sample("mail", 490 * MiB, t + 75)}, t + 75);
    const TimelineEvent& merged = store.events()[0];
    EXPECT_EQ(merged.id, first.id);
    EXPECT_EQ(merged.immediate, window(-600 * static_cast<std::int64_t>(MiB), 8, 1100 * MiB, 500 * MiB));
    EXPECT_EQ(merged.settled, window(-610 * static_cast<std::int64_t>(MiB), 45, 1100 * MiB, 490 * MiB));
    EXPECT_EQ(merged.kind, TimelineEventKind::memoryReleased);
}

TEST_F(TimelineStoreTest, FollowUpTargetNeedsStrictlyLessThan120Seconds) {
    auto store = open();
    const Date t = clock.now();
    // Without end footprints the merge leaves the stored story's time where it was.
    auto first = appStory("a", TimelineEventKind::largeDelta, t, 500 * MiB, std::nullopt);
    store.add(first);
    auto second = appStory("a", TimelineEventKind::largeDelta, t + 120, 700 * MiB, std::nullopt);
    EXPECT_FALSE(TimelineStore::isRepeatDelta(first, "a", second));
    EXPECT_TRUE(TimelineStore::isRepeatDelta(first, "a", appStory("a", TimelineEventKind::largeDelta, t - 119.9, 1, 2)));
    EXPECT_FALSE(TimelineStore::isRepeatDelta(first, "b", appStory("a", TimelineEventKind::largeDelta, t, 1, 2)));
    store.add(second);  // merges: 120 s is inside the merge window
    ASSERT_EQ(store.events().size(), 1u);
    store.registerFollowUp(second, "a", 700 * MiB, 900 * MiB);
    // Merged away and not a repeat of the stored story: the follow-up has nothing to fill and ends.
    EXPECT_TRUE(store.hasPendingFollowUp(second.id));
    store.updateFollowUps({sample("a", 900 * MiB, t + 130)}, t + 130);
    EXPECT_FALSE(store.hasPendingFollowUp(second.id));
}

TEST_F(TimelineStoreTest, FollowUpEndsWhenItsStoryLeaves) {
    auto store = open();
    const Date t = clock.now();
    auto story = appStory("a", TimelineEventKind::largeDelta, t, 500 * MiB, 700 * MiB);
    store.add(story);
    store.registerFollowUp(story, "a", 500 * MiB, 700 * MiB);
    for (int i = 0; i < 500; ++i) store.add(machineStory(TimelineEventKind::swapSpike, t + i));
    store.updateFollowUps({sample("a", 700 * MiB, t + 10)}, t + 10);
    EXPECT_FALSE(store.hasPendingFollowUp(story.id));
}

TEST_F(TimelineStoreTest, ClockSetBackRestartsTheFollowUpTiming) {
    auto store = open();
    const Date t = clock.now();
    auto story = appStory("a", TimelineEventKind::largeDelta, t, 500 * MiB, 700 * MiB);
    store.add(story);
    store.registerFollowUp(story, "a", 500 * MiB, 700 * MiB);
    const Date back = t - 3600;
    store.updateFollowUps({sample("a", 700 * MiB, back)}, back);
    store.updateFollowUps({sample("a", 710 * MiB, back + 8)}, back + 8);
    EXPECT_EQ(store.events()[0].immediate, window(210 * static_cast<std::int64_t>(MiB), 8, 710 * MiB, 710 * MiB));
}

TEST_F(TimelineStoreTest, SystemHistoryKeepsTwoHours) {
    auto store = open();
    for (int i = 0; i < 7201; ++i) store.recordSystemSnapshot(SystemMemorySnapshot{MemoryPressureLevel::normal, 0, 0, 0, 0, Date{double(i)}});
    ASSERT_EQ(store.systemHistory().size(), 7200u);
    EXPECT_EQ(store.systemHistory().front().timestamp, Date{1});
    EXPECT_EQ(store.systemHistory().back().timestamp, Date{7200});
}

TEST_F(TimelineStoreTest, FileHoldsTheLastDayNewestFirst) {
    const Date now = clock.now();
    auto old = machineStory(TimelineEventKind::swapSpike, now - 86401);
    auto edge = machineStory(TimelineEventKind::swapSpike, now - 86400);
    auto recent = appStory("a", TimelineEventKind::largeDelta, now - 5, 500 * MiB, 700 * MiB);
    {
        auto store = open();
        store.add(old);
        store.add(edge);
        store.add(recent);
        EXPECT_EQ(store.events().size(), 3u);  // memory keeps the old story until the next start
        ASSERT_EQ(file().size(), 2u);
        EXPECT_EQ(file()[0]["id"], recent.id.toString());
        EXPECT_EQ(file()[0]["timestamp"], (now - 5).secondsSince2001);
        EXPECT_EQ(file()[1]["id"], edge.id.toString());
    }
    // Written when the old story was still inside the day; read a second after it left it.
    fs.writeAtomically(path(), encode(std::vector<TimelineEvent>{recent, edge, old}).dump());
    auto store = open();
    ASSERT_EQ(store.events().size(), 2u);
    EXPECT_EQ(store.events()[0].id, recent.id);
    EXPECT_EQ(store.events()[1].id, edge.id);
    EXPECT_TRUE(setAsideFiles().empty());
}

TEST_F(TimelineStoreTest, LoadingEndsPendingWindowsAndKeeps500) {
    std::vector<TimelineEvent> stories;
    for (int i = 0; i < 620; ++i) stories.push_back(appStory("a" + std::to_string(i), TimelineEventKind::largeDelta, clock.now() - i, 1, 2));
    stories.push_back(stories[3]);  // the same story twice
    std::swap(stories[4], stories.back());
    fs.writeAtomically(path(), encode(stories).dump());
    auto store = open();
    ASSERT_EQ(store.events().size(), 500u);
    EXPECT_EQ(store.events()[0].id, stories[0].id);
    EXPECT_EQ(store.events()[4].id, stories[5].id);
    for (const auto& e : store.events()) EXPECT_FALSE(e.isPendingWindows);
}

TEST_F(TimelineStoreTest, DamagedFilesKeepWhatCanBeReadAndAreSetAside) {
    const auto a = appStory("a", TimelineEventKind::largeDelta, clock.now(), 1, 2);
    const auto b = machineStory(TimelineEventKind::swapSpike, clock.now());
    Json badKind = b.toJson();
    badKind["kind"] = "largeGrowth";
    badKind["id"] = Uuid::random().toString();
    Json missing = b.toJson();
    missing.erase("primarySource");
    missing["id"] = Uuid::random().toString();
    struct Case {
        const char* name;
        std::string contents;
        std::vector<Uuid> kept;
    };
    const Case cases[] = {
        {"unknown kind", Json::array({a.toJson(), badKind, b.toJson()}).dump(), {a.id, b.id}},
        {"missing field", Json::array({missing, a.toJson()}).dump(), {a.id}},
        {"not a story", Json::array({a.toJson(), 7, "x", nullptr}).dump(), {a.id}},
        {"cut short", Json::array({a.toJson(), b.toJson()}).dump().substr(0, a.toJson().dump().size() + 30), {a.id}},
        {"not an array", a.toJson().dump(), {}},
        {"empty", "", {}},
    };
    for (const auto& c : cases) {
        for (const auto& f : setAsideFiles()) std::filesystem::remove(f);
        std::ofstream(path(), std::ios::trunc | std::ios::binary) << c.contents;
        auto store = open();
        std::vector<Uuid> kept;
        for (const auto& e : store.events()) kept.push_back(e.id);
        EXPECT_EQ(kept, c.kept) << c.name;
        const auto aside = setAsideFiles();
        ASSERT_EQ(aside.size(), 1u) << c.name;
        store.add(machineStory(TimelineEventKind::pressureChanged, clock.now()));
        EXPECT_EQ(file().size(), c.kept.size() + 1) << c.name;
        EXPECT_EQ(fs.read(aside[0]).contents, c.contents) << c.name;
    }
}

// A writer killed in the middle of saving leaves the old file or the new one, whole.
TEST_F(TimelineStoreTest, KilledWhileSavingLeavesAWholeFile) {
    constexpr int acknowledged = 40;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(fds[0]);
        PosixFileSystem files;
        FakeClock childClock(clock.now());
        TimelineStore store(files, path(), childClock);
        for (int i = 0;; ++i) {
            store.add(appStory("app" + std::to_string(i % 700), TimelineEventKind::largeDelta, childClock.now() + i * 200.0 / 700, 1, 2));
            const char done = 'x';
            if (::write(fds[1], &done, 1) != 1) ::_exit(1);
        }
    }
    ::close(fds[1]);
    char buf;
    for (int seen = 0; seen < acknowledged;)
        if (::read(fds[0], &buf, 1) == 1) ++seen;
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(fds[0]);
    ASSERT_TRUE(WIFSIGNALED(status));

    const Json written = file();
    ASSERT_TRUE(written.is_array()) << "the file is not whole";
    EXPECT_GE(written.size(), static_cast<std::size_t>(acknowledged));
    auto store = open();
    EXPECT_EQ(store.events().size(), written.size());
    EXPECT_TRUE(setAsideFiles().empty());

    // Then the file is cut short, as a full disk or a copy tool might leave it.
    const std::string whole = fs.read(path()).contents;
    const std::string cut = whole.substr(0, whole.size() * 3 / 5);
    std::ofstream(path(), std::ios::trunc | std::ios::binary) << cut;
    std::size_t complete = 0;
    for (std::size_t pos = 1; complete < written.size(); ++complete) {
        pos += written[complete].dump().size();
        if (pos > cut.size()) break;
        ++pos;  // the comma
    }
    auto again = open();
    ASSERT_EQ(again.events().size(), complete);
    for (std::size_t i = 0; i < complete; ++i) EXPECT_EQ(again.events()[i].id.toString(), written[i]["id"]) << i;
    ASSERT_EQ(setAsideFiles().size(), 1u);
    EXPECT_EQ(fs.read(setAsideFiles()[0]).contents, cut);
}

}  // namespace

TEST_F(TimelineStoreTest, WindowTitleWithInvalidUtf8StillSaves) {
    auto story = appStory("a", TimelineEventKind::largeDelta, clock.now(), 100 * MiB, 400 * MiB);
    story.relatedApp->displayName = "notes\xFF\xFE.txt";
    {
        auto store = open();
        store.add(story);
    }
    auto reopened = open();
    ASSERT_EQ(reopened.events().size(), 1u);
    EXPECT_EQ(reopened.events()[0].id, story.id);
    EXPECT_TRUE(setAsideFiles().empty());
}
