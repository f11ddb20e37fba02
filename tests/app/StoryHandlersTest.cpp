#include <gtest/gtest.h>

#include "tests/app/AppHarness.h"

using namespace velmora;

namespace {

using Kind = ActivityEventKind;
const ProcessIdentity editor = appIdentity("org.gnome.TextEditor", "Text Editor", "org.gnome.TextEditor");
const ProcessIdentity firefox = appIdentity("family:firefox", "Firefox");

ActivityEvent event(Date at, Kind kind, const ProcessIdentity& app, std::optional<std::string> title = {},
                    std::optional<std::string> tag = {}) {
    return {.id = Uuid::random(), .timestamp = at, .kind = kind, .app = app, .windowTitle = title, .semanticLabel = tag};
}

TEST(EvidenceSources, EachEventTracedToOneSensor) {
    const ProcessIdentity& a = editor;
    const Date t{0};
    const std::pair<std::vector<ActivityEvent>, std::vector<SensorSource>> cases[] = {
        {{event(t, Kind::pageNavigated, a, {}, "chromium_extension"), event(t, Kind::becameFrontmost, a, {}, "applescript_browser"),
          event(t, Kind::appLaunched, a, {}, "tab_count"), event(t, Kind::titleChanged, a, {}, "cg_window_title")},
         {SensorSource::windowList, SensorSource::appleScript, SensorSource::chromiumExtension}},
        {{event(t, Kind::becameFrontmost, a), event(t, Kind::appTerminated, a, {}, "document")}, {SensorSource::workspace}},
        {{event(t, Kind::userIdle, a), event(t, Kind::pageNavigated, a, {}, "site"), event(t, Kind::mediaLikelyPlaying, a)},
         {SensorSource::accessibility}},
        {{}, {}},
    };
    for (const auto& [events, sources] : cases) EXPECT_EQ(AppState::evidenceSources(events), sources);
}

struct Handlers : ::testing::Test {
    AppHarness h;
    AppState& s = h.make();
    const Date t = h.clock.now();
    const TimelineEvent& newest() const { return s.timeline->events().front(); }
};

TEST_F(Handlers, SustainedGrowthTellsMinutesAndTheSixNewestThings) {
    for (int i = 1; i <= 9; ++i)
        s.activityBus->publishSilently(event(t + 60.0 * i, Kind::titleChanged, editor, "Draft " + std::to_string(i)));
    s.activityBus->publishSilently(event(t + 30, Kind::becameFrontmost, editor, "Draft 0"));
    s.activityBus->publishSilently(event(t + 30, Kind::titleChanged, firefox, "Elsewhere"));
    s.handleSustainedGrowth({editor, t, t + 750, 100 * MiB, 400 * MiB, false});
    const TimelineEvent& story = newest();
    EXPECT_EQ(story.title, "Text Editor continued growing while running");
    EXPECT_EQ(story.explanation,
              "Text Editor kept growing for about 12 minutes (+ 300 MB).\n"
              "During that time: In Text Editor: Draft 4; In Text Editor: Draft 5; In Text Editor: Draft 6; "
              "In Text Editor: Draft 7; In Text Editor: Draft 8; In Text Editor: Draft 9.\n"
              "Long steady growth can mean a leak or heavy background work.");
    EXPECT_EQ(story.confidence, ConfidenceLevel::medium);
    EXPECT_EQ(story.linkedActivityIDs.size(), 9u);
    EXPECT_EQ(story.longerTerm, (ImpactWindow{300 * std::int64_t(MiB), 750, 400 * MiB, 400 * MiB}));
    EXPECT_FALSE(story.immediate || story.settled || story.isPendingWindows);
    EXPECT_EQ(story.primarySource, SensorSource::sustainedGrowth);

    h.clock.advance(3600);
    s.handleSustainedGrowth({editor, t + 3600, t + 3650, 100 * MiB, 400 * MiB, true});
    EXPECT_EQ(newest().title, "Text Editor continued growing while idle");
    EXPECT_EQ(newest().explanation,
              "Text Editor kept growing for about 1 minutes (+ 300 MB).\n"
              "It grew even while you weren\u2019t using the computer much \u2014 worth a look.");
    EXPECT_EQ(newest().confidence, ConfidenceLevel::high);
    EXPECT_EQ(s.sensorLog.front().source, SensorSource::sustainedGrowth);
}

TEST_F(Handlers, BrowserSessionNamesPagesElseChangesElseDuration) {
    struct Case {
        const char* name;
        std::uint64_t growth;
        std::vector<std::string> pages;
        std::int64_t changes;
        std::vector<std::string> spanTitles;
        const char* title;
        const char* firstLine;
        std::optional<ConfidenceLevel> confidence;
        std::vector<SensorSource> sources;
    };
    const Case cases[] = {
        {"79 MiB", 79 * MiB, {}, 0, {}, nullptr, nullptr, std::nullopt, {}},
        {"pages", 80 * MiB, {"Alpha Notes", "Budget Sheet"}, 2,
         {"Budget Sheet", "Chess Openings", "Dinner Recipes", "Easy Hikes"},
         "Firefox \u00b7 Alpha Notes, Budget Sheet, Chess Openings", "Alpha Notes, Budget Sheet, Chess Openings",
         ConfidenceLevel::high, {SensorSource::windowList}},
        {"changes", 90 * MiB, {}, 3, {}, "Firefox \u00b7 3 tab/page changes", "3 tab/page changes",
         ConfidenceLevel::medium, {SensorSource::memorySampler}},
        {"nothing", 90 * MiB, {}, 0, {}, "Firefox used more memory",
         "Grew over ~1 min \u2014 no page details captured this time.", ConfidenceLevel::low,
         {SensorSource::memorySampler}},
    };
    for (const auto& c : cases) {
        AppHarness fresh;
        AppState& state = fresh.make();
        const Date start = fresh.clock.now();
        // A helper process of the same family counts for the browser.
        const ProcessIdentity helper = appIdentity("name:firefox-bin", "firefox-bin");
        for (const auto& title : c.spanTitles)
            state.activityBus->publishSilently(event(start + 10, Kind::titleChanged, helper, title, "cg_window_title"));
        state.handleBrowserSessionStory({firefox, start, start + 50, 500 * MiB, 500 * MiB + c.growth,
                                         500 * MiB + c.growth, c.pages, c.changes});
        if (!c.title) {
            EXPECT_TRUE(state.timeline->events().empty()) << c.name;
            continue;
        }
        ASSERT_EQ(state.timeline->events().size(), 1u) << c.name;
        const TimelineEvent& story = state.timeline->events().front();
        EXPECT_EQ(story.title, c.title) << c.name;
        EXPECT_EQ(story.explanation.substr(0, story.explanation.find('\n')), c.firstLine) << c.name;
        EXPECT_EQ(story.confidence, c.confidence) << c.name;
        EXPECT_EQ(story.supportingSources, c.sources) << c.name;
        EXPECT_EQ(story.immediate, story.settled);
        EXPECT_EQ(state.lowConfidenceBrowserStoryCount, c.confidence == ConfidenceLevel::low ? 1 : 0) << c.name;
        EXPECT_EQ(state.sensorLog.front().summary, c.title);
    }
}

TEST_F(Handlers, BrowserSessionHintOnlyUntilTheExtensionSpoke) {
    const auto text = [&] { return newest().explanation; };
    s.handleBrowserSessionStory({firefox, t, t + 50, 0, 100 * MiB, 100 * MiB, {}, 0});
    EXPECT_NE(text().find("\nInstall the browser extension for tab-level detail even in background tabs (Setup).\n"),
              std::string::npos);
    EXPECT_EQ(s.sensorLog.front().detail, "+100 MB \u00b7 sources: Memory");
    s.extensionEverConnected = true;
    s.handleBrowserSessionStory({firefox, t + 400, t + 450, 0, 100 * MiB, 100 * MiB, {}, 0});
    EXPECT_EQ(text().find("Install"), std::string::npos);
    EXPECT_EQ(s.lowConfidenceBrowserStoryCount, 2);
}

TEST_F(Handlers, MeasurementStoryFromTheLatestReport) {
    auto& c = *s.measureController;
    const auto run = [&](std::vector<AppMemorySnapshot> before, std::vector<AppMemorySnapshot> after) {
        c.cancel();
        c.start();
        c.handleBaselineSample(before, {});
        c.done();
        c.handleSettlingSample(after, {});
        c.showResultNow();
        s.selectedSidebar = SidebarItem::measure;
        s.recordMeasurementStory();
    };
    s.recordMeasurementStory();  // no report yet
    EXPECT_TRUE(s.timeline->events().empty());

    run({{.identity = editor, .footprintBytes = 1000 * MiB, .isForeground = true}},
        {{.identity = editor, .footprintBytes = 1300 * MiB}});
    const TimelineEvent& story = newest();
    EXPECT_EQ(story.title, "Check one action \u2014 Text Editor");
    EXPECT_EQ(story.immediate->deltaBytes, 300 * std::int64_t(MiB));
    EXPECT_EQ(story.settled, (ImpactWindow{300 * std::int64_t(MiB), 60, 1300 * MiB, 1300 * MiB}));
    EXPECT_EQ(story.supportingSources, std::vector<SensorSource>{SensorSource::memorySampler});
    EXPECT_EQ(story.explanation.substr(story.explanation.find('\n')),
              "\nBest guess from the numbers \u2014 not proven for a specific tab or click.");
    EXPECT_EQ(s.selectedSidebar, SidebarItem::timeline);
    EXPECT_EQ(s.selectedEventID, story.id);

    run({}, {});  // nothing measured: no target, and no made-up release of the whole baseline
    EXPECT_EQ(newest().title, "Check one action \u2014 App");
    EXPECT_FALSE(newest().relatedApp || newest().immediate || s.sensorLog.front().appName);
    EXPECT_EQ(s.timeline->events().size(), 2u);
}

}  // namespace
