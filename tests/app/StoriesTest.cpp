#include <gtest/gtest.h>

#include <algorithm>

#include "tests/app/AppHarness.h"

using namespace velmora;

namespace {

using Kind = ActivityEventKind;
const ProcessIdentity editor = appIdentity("org.gnome.TextEditor", "Text Editor", "org.gnome.TextEditor");
const ProcessIdentity firefox = appIdentity("org.mozilla.firefox", "Firefox", "org.mozilla.firefox");
const ProcessIdentity browserFamily = appIdentity("family:firefox", "Firefox");

ActivityEvent event(Date at, Kind kind, const ProcessIdentity& app, std::optional<std::string> title = {},
                    std::optional<std::string> tag = {}, std::optional<std::string> url = {}) {
    return {.id = Uuid::random(), .timestamp = at, .kind = kind, .app = app, .windowTitle = title, .urlString = url,
            .semanticLabel = tag};
}

// One app state over fakes; `newest` is the story on top of the timeline.
struct Stories : ::testing::Test {
    AppHarness h;
    AppState& s = h.make();
    const Date t = h.clock.now();
    const TimelineEvent& newest() const { return s.timeline->events().front(); }
    std::size_t stories() const { return s.timeline->events().size(); }
    void publish(Kind kind, std::optional<std::string> title, std::optional<std::string> tag = {},
                 std::optional<std::string> url = {}, const ProcessIdentity& app = editor) {
        ActivityEvent e = event(h.clock.now(), kind, app, title, tag, url);
        e.detail = "d";
        s.activityBus->publish(e);
    }
    void page(double offset) {
        s.activityBus->publishSilently(event(h.clock.now() + offset, Kind::titleChanged, firefox, "Docs", {},
                                             "https://docs.example/"));
    }
    // A change detected now, that began growing `lead` seconds before.
    SignificantChange growth(std::int64_t delta, std::optional<MemoryPressureLevel> pressure = MemoryPressureLevel::normal,
                             std::optional<double> lead = 10.0) {
        const Date now = h.clock.now();
        SignificantChange c{.id = Uuid::random(), .app = firefox, .detectedAt = now,
                            .baselineFootprint = 1000 * MiB, .signedDelta = delta};
        c.currentFootprint = c.peakFootprint = static_cast<std::uint64_t>(std::int64_t(1000 * MiB) + delta);
        if (lead) c.growthStartedAt = now - *lead;
        c.kind = delta < 0 ? SignificantChange::Kind::largeRelease() : SignificantChange::Kind::largeGrowth();
        if (pressure) c.system = SystemMemorySnapshot{.pressure = *pressure, .timestamp = now};
        return c;
    }
};

TEST_F(Stories, StatusAndLogNameTheSensorByItsTag) {
    const std::tuple<Kind, std::optional<std::string>, const char*, SensorSource> cases[] = {
        {Kind::titleChanged, "tab_count", "Automation", SensorSource::appleScript},
        {Kind::titleChanged, "applescript_browser", "Automation", SensorSource::appleScript},
        {Kind::titleChanged, "cg_window_title", "Window list", SensorSource::windowList},
        {Kind::pageNavigated, "chromium_extension", "Extension", SensorSource::chromiumExtension},
        {Kind::titleChanged, std::nullopt, "System", SensorSource::accessibility},
        {Kind::becameFrontmost, "document", "System", SensorSource::workspace},
    };
    for (const auto& [kind, tag, status, source] : cases) {
        s.sensorLastError = "stale";
        publish(kind, "Report.txt", tag);
        EXPECT_EQ(std::tie(s.sensorLastSource, s.sensorLog.front().source), std::tie(status, source)) << status;
        EXPECT_FALSE(s.sensorLastError);
    }
    const SensorLogEntry& newest = s.sensorLog.front();
    EXPECT_EQ(std::tie(newest.summary, newest.detail, s.sensorLastApp),
              std::make_tuple("becameFrontmost: Report.txt", std::optional<std::string>("d"), "Text Editor"));

    publish(Kind::titleChanged, std::nullopt);  // no title: no status, no log entry
    publish(Kind::titleChanged, "Desktop", {}, {}, appIdentity("name:Xorg", "Xorg"));  // an ignored daemon
    EXPECT_EQ(s.sensorLog.size(), 6u);
    for (int i = 0; i < 300; ++i) publish(Kind::titleChanged, "T" + std::to_string(i));
    ASSERT_EQ(s.sensorLog.size(), 300u);
    EXPECT_EQ(s.sensorLog.front().summary, "titleChanged: T299");
    EXPECT_EQ(s.sensorLog.back().summary, "titleChanged: T0");
}

TEST_F(Stories, SemanticEventsRepeatOnlyAfterEightSeconds) {
    // An address without a title derives one site event; the same one again only 8 s later.
    for (const auto& [wait, page, events] : {std::tuple{0.0, "a", 2u}, {7.9, "b", 3u}, {0.1, "c", 5u}}) {
        h.clock.advance(wait);
        publish(Kind::tabActivity, std::nullopt, std::nullopt, std::string("https://docs.example/") + page, firefox);
        ASSERT_EQ(s.activityBus->events().size(), events) << page;
    }
    EXPECT_EQ(s.activityBus->events().back().semanticLabel, "site");
    EXPECT_TRUE(s.sensorLog.empty());
}

TEST_F(Stories, TabEventsFromTheExtension) {
    // Private windows and pages the bus refuses leave no trace beyond "connected".
    s.handleTabEvent("chrome", "Secret (InCognito)", "https://a.example/", "a.example");
    s.handleTabEvent("chrome", "Notes", "https://private.example/", "private.example");
    s.handleTabEvent("chrome", std::nullopt, std::nullopt, std::nullopt);
    EXPECT_TRUE(s.extensionEverConnected);
    EXPECT_TRUE(s.sensorLog.empty());
    EXPECT_FALSE(s.sensorLastTitle);

    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"ARC", "family:arc", "Arc"}, {"Chrom", "family:chrome", "Google Chrome"}, {"firefox", "family:firefox", "Firefox"}};
    for (const auto& [browser, key, name] : cases) {
        s.handleTabEvent(browser, "Quarterly Budget", "https://sheets.example/q3", "sheets.example");
        EXPECT_EQ(s.activityBus->events().back().app->groupingKey, key);
        EXPECT_EQ(std::tie(s.sensorLastApp, s.sensorLastSource), std::make_tuple(name, "Extension"));
    }
    EXPECT_EQ(s.sensorLog[0].summary.substr(0, 7), "Tab \u2192");
    EXPECT_EQ(s.sensorLog[1].source, SensorSource::chromiumExtension);
}

TEST_F(Stories, EachExtensionWordJoinsTheFamilyItsProcessesGroupUnder) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"chromium", "family:chromium", "Chromium"}, {"Chromium", "family:chromium", "Chromium"},
        {"chrome", "family:chrome", "Google Chrome"}, {"brave", "family:brave", "Brave"},
        {"edge", "family:edge", "Microsoft Edge"},    {"opera", "family:opera", "Opera"},
        {"vivaldi", "family:vivaldi", "Vivaldi"},     {"", "family:chrome", "Google Chrome"},
        {"netscape", "family:chrome", "Google Chrome"},
    };
    for (const auto& [browser, key, name] : cases) {
        s.handleTabEvent(browser, "Quarterly Budget", "https://sheets.example/q3", "sheets.example");
        const ActivityEvent& last = s.activityBus->events().back();
        EXPECT_EQ(last.app->groupingKey, key) << browser;
        EXPECT_EQ(last.app->displayName, name) << browser;
        EXPECT_EQ(s.sensorLastApp, name) << browser;
    }
}

TEST_F(Stories, StatusFromTheProbesEachSample) {
    s.refreshSensorStatus();
    h.sensors.scripting->reading.error = "Scripting is not available";
    h.sensors.windowTitles->reading = {"Terminal", "xterm", h.clock.now(), std::nullopt};
    s.refreshSensorStatus();
    EXPECT_EQ(std::tie(s.sensorLastSource, s.sensorLastTitle), std::make_tuple("Window list", "Terminal"));
    EXPECT_FALSE(s.sensorLastError);
    h.sensors.scripting->reading.title = "Inbox";
    s.refreshSensorStatus();
    EXPECT_EQ(s.sensorLastSource, "Browser Automation");
    h.sensors.scripting->reading.title.reset();
    h.sensors.windowTitles->reading.title.reset();
    s.refreshSensorStatus();
    EXPECT_EQ(std::tie(s.sensorLastError, s.sensorLastTitle), std::make_tuple("Scripting is not available", "Inbox"));
}

TEST_F(Stories, ActivityWindowReachesBackFifteenSecondsBeforeGrowthAndAtLeastAMinute) {
    const std::tuple<std::optional<double>, double, double> cases[] = {  // lead, earliest seen, immediate duration
        {2.0, -60, 2}, {100.0, -115, 100}, {std::nullopt, -75, 60}};
    for (const auto& [lead, earliest, duration] : cases) {
        h.clock.advance(1000);  // past the cooldowns and merges of the case before
        for (double offset : {earliest - 0.5, earliest, 0.0, 10.0, 10.5}) page(offset);
        s.handleSignificantChange(growth(300 * MiB, MemoryPressureLevel::normal, lead));
        std::vector<double> seen;
        for (const auto& signal : h.sensors.visual->signals) seen.push_back(signal.timestamp - h.clock.now());
        seen.erase(std::unique(seen.begin(), seen.end()), seen.end());  // several signals per event
        EXPECT_EQ(seen, (std::vector<double>{earliest, 0.0, 10.0})) << earliest;
        EXPECT_EQ(s.timeline->events().front().immediate->duration, duration);
    }
}

TEST_F(Stories, APageReportedBeforeTheGrowthBeganNamesItsStory) {
    // The extension reports a page when it comes to the front; its scripts fill memory afterwards.
    const ProcessIdentity chromium = appIdentity("family:chromium", "Chromium", "chromium");
    const std::tuple<double, const char*, bool> cases[] = {  // report before detection, title, from the extension
        {7.0, "Chromium \u00b7 memory-lab.test", true},
        {59.0, "Chromium \u00b7 memory-lab.test", true},
        {61.0, "Chromium used more memory", false},  // before the minute the story looks back on
    };
    for (const auto& [before, title, fromExtension] : cases) {
        h.clock.advance(1000);  // past the merges of the case before
        s.handleTabEvent("chromium", "Memory Lab", "http://memory-lab.test:8000/lab", "memory-lab.test");
        h.clock.advance(before);
        SignificantChange c = growth(600 * MiB, MemoryPressureLevel::normal, 5.0);
        c.app = chromium;
        s.handleSignificantChange(c);
        EXPECT_EQ(newest().title, title) << before;
        const auto& sources = newest().supportingSources;
        EXPECT_EQ(std::count(sources.begin(), sources.end(), SensorSource::chromiumExtension), fromExtension ? 1 : 0)
            << before;
    }
}

TEST_F(Stories, ATitleOfTheAppWithinTheRiseOutweighsAPageBeforeIt) {
    const ProcessIdentity chromium = appIdentity("family:chromium", "Chromium", "chromium");
    s.handleTabEvent("chromium", "Memory Lab", "http://memory-lab.test:8000/lab", "memory-lab.test");
    h.clock.advance(4);
    s.activityBus->publish(event(h.clock.now(), Kind::titleChanged, chromium, "Quarterly report", "cg_window_title"));
    h.clock.advance(3);  // the rise began a second before this title
    SignificantChange c = growth(600 * MiB, MemoryPressureLevel::normal, 4.0);
    c.app = chromium;
    s.handleSignificantChange(c);
    EXPECT_EQ(newest().title.find("memory-lab.test"), std::string::npos) << newest().title;
    EXPECT_NE(newest().explanation.find("Quarterly report"), std::string::npos) << newest().explanation;
    const auto& sources = newest().supportingSources;
    EXPECT_EQ(std::count(sources.begin(), sources.end(), SensorSource::chromiumExtension), 0);
}

TEST_F(Stories, SmallChangesAtNormalPressureAreDropped) {
    const std::tuple<const char*, std::int64_t, std::optional<MemoryPressureLevel>, bool> cases[] = {
        {"48 MiB less one byte, normal", 48 * MiB - 1, MemoryPressureLevel::normal, false},
        {"40 MiB release, normal", -40 * std::int64_t(MiB), MemoryPressureLevel::normal, false},
        {"40 MiB, warning", 40 * MiB, MemoryPressureLevel::warning, true},
        {"40 MiB, no snapshot", 40 * MiB, std::nullopt, true},
        {"48 MiB, normal", 48 * MiB, MemoryPressureLevel::normal, true},
    };
    for (const auto& [name, delta, pressure, filed] : cases) {
        h.clock.advance(1000);
        const std::size_t before = stories(), logged = s.sensorLog.size();
        s.handleSignificantChange(growth(delta, pressure));
        EXPECT_EQ(stories() - before, filed ? 1u : 0u) << name;
        EXPECT_EQ(s.sensorLog.size() - logged, filed ? 1u : 0u) << name;
    }
}

TEST_F(Stories, PressureStoriesAreNotRepeatedWithinNinetySeconds) {
    const auto pressure = [&](double at) {
        const Date when = h.clock.now() + at;
        s.handleSignificantChange({.id = Uuid::random(), .app = ProcessIdentity::system(), .detectedAt = when,
                                   .kind = SignificantChange::Kind::pressureTransition(MemoryPressureLevel::normal,
                                                                                       MemoryPressureLevel::warning),
                                   .system = SystemMemorySnapshot{.pressure = MemoryPressureLevel::warning, .timestamp = when}});
        return stories();
    };
    for (double at : {60, -100, 100}) pressure(at);
    EXPECT_EQ(stories(), 3u);  // only the newest filed is consulted, not the one of 40 s before
    EXPECT_EQ(pressure(189), 3u);
    ASSERT_EQ(pressure(190), 4u);

    const TimelineEvent& system = s.timeline->events().front();
    EXPECT_FALSE(system.relatedApp || system.baselineFootprintBytes || system.immediate || system.isPendingWindows);
    EXPECT_EQ(system.primarySource, SensorSource::systemPressure);
    EXPECT_FALSE(s.timeline->hasPendingFollowUp(system.id));
    EXPECT_EQ(s.dailyStats->days().front().storyCount, 4);
}

TEST_F(Stories, FollowUpGoesToTheStoryTheMergeKept) {
    TimelineEvent older{.id = Uuid::random(), .timestamp = h.clock.now() - 100,
                        .kind = TimelineEventKind::sustainedGrowth, .title = "Firefox kept growing", .relatedApp = firefox};
    s.timeline->add(older);
    page(-5);
    s.handleSignificantChange(growth(300 * MiB));
    ASSERT_EQ(stories(), 1u);
    EXPECT_TRUE(s.timeline->hasPendingFollowUp(older.id));
    EXPECT_EQ(s.sensorLog.front().source, SensorSource::significantChange);
    EXPECT_EQ(s.sensorLog.front().detail, "Accessibility");
}

TEST_F(Stories, AJumpMergedIntoASlowClimbKeepsTheClimbsStoryThroughItsFollowUp) {
    s.settings->setPermission(&PermissionState::screenshotsEnabled, true);
    s.systemPermissions.screenRecordingGranted = true;
    s.handleSustainedGrowth({firefox, t - 800, t - 50, 700 * MiB, 1000 * MiB, false});
    s.handleSignificantChange(growth(300 * MiB));  // nothing explains it: a look at the screen starts
    ASSERT_EQ(stories(), 1u);
    ASSERT_EQ(h.sensors.visual->looks.size(), 1u);
    const TimelineEvent merged = newest();
    EXPECT_EQ(std::make_tuple(merged.kind, merged.title),
              std::make_tuple(TimelineEventKind::sustainedGrowth, "Firefox continued growing while running"));
    ASSERT_EQ(merged.explanation.rfind("Firefox kept growing for about 12 minutes (+", 0), 0u);

    h.sensors.visual->finish("A video editor exporting");
    const std::string noted = merged.explanation + " On screen around then: A video editor exporting";
    EXPECT_EQ(newest().explanation, noted);

    for (const double after : {8.0, 45.0}) {
        h.clock.advance(after - (h.clock.now() - t));
        s.timeline->updateFollowUps({{.identity = firefox, .footprintBytes = 1250 * MiB}}, h.clock.now());
    }
    const TimelineEvent& settled = newest();
    EXPECT_EQ(std::make_tuple(settled.id, settled.kind, settled.title, settled.explanation, settled.isPendingWindows),
              std::make_tuple(merged.id, TimelineEventKind::sustainedGrowth, merged.title, noted, false));
    EXPECT_EQ(settled.settled, (ImpactWindow{550 * std::int64_t(MiB), 45, 1300 * MiB, 1250 * MiB}));
}

TEST_F(Stories, WeakStoriesLookAtTheScreenOnlyWhenAllowed) {
    // Nothing explains these changes; each side of the permission check decides alone.
    for (const auto& [screenshots, granted, looks] : {std::tuple{false, true, 0u}, {true, false, 0u}, {true, true, 1u}}) {
        h.clock.advance(600);
        s.settings->setPermission(&PermissionState::screenshotsEnabled, screenshots);
        s.systemPermissions.screenRecordingGranted = granted;
        s.handleSignificantChange(growth(300 * MiB));
        ASSERT_EQ(h.sensors.visual->looks.size(), looks) << screenshots << granted;
    }
    EXPECT_TRUE(h.sensors.visual->looks[0].second);  // forced: the attribution asked for it

    const TimelineEvent before = s.timeline->events().front();
    EXPECT_EQ(before.confidence, ConfidenceLevel::low);
    h.sensors.visual->finish("A spreadsheet named Budget");
    const TimelineEvent after = s.timeline->events().front();
    EXPECT_EQ(after.explanation, before.explanation + " On screen around then: A spreadsheet named Budget");
    EXPECT_EQ(after.confidence, ConfidenceLevel::medium);

    // A follow-up rewrites the text from its new measurement; the sentence stays.
    s.timeline->updateFollowUps({{.identity = firefox, .footprintBytes = 1250 * MiB}}, h.clock.now() + 9);
    EXPECT_NE(s.timeline->events().front().explanation.find(" On screen around then: A spreadsheet named Budget"),
              std::string::npos);
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
    };
    for (const auto& [events, sources] : cases) EXPECT_EQ(AppState::evidenceSources(events), sources);
}

TEST_F(Stories, SustainedGrowthTellsMinutesAndTheSixNewestThings) {
    for (int i = 1; i <= 9; ++i)
        s.activityBus->publishSilently(event(t + 60.0 * i, Kind::titleChanged, editor, "Draft " + std::to_string(i)));
    s.activityBus->publishSilently(event(t + 30, Kind::becameFrontmost, editor, "Draft 0"));
    s.activityBus->publishSilently(event(t + 30, Kind::titleChanged, firefox, "Elsewhere"));
    s.handleSustainedGrowth({editor, t, t + 750, 100 * MiB, 400 * MiB, false});
    EXPECT_EQ(newest().title, "Text Editor continued growing while running");
    EXPECT_EQ(newest().explanation,
              "Text Editor kept growing for about 12 minutes (+ 300 MB).\n"
              "During that time: In Text Editor: Draft 4; In Text Editor: Draft 5; In Text Editor: Draft 6; "
              "In Text Editor: Draft 7; In Text Editor: Draft 8; In Text Editor: Draft 9.\n"
              "Long steady growth can mean a leak or heavy background work.");
    EXPECT_EQ(newest().confidence, ConfidenceLevel::medium);
    EXPECT_EQ(newest().linkedActivityIDs.size(), 9u);
    EXPECT_EQ(newest().longerTerm, (ImpactWindow{300 * std::int64_t(MiB), 750, 400 * MiB, 400 * MiB}));
    EXPECT_FALSE(newest().immediate || newest().settled || newest().isPendingWindows);
    EXPECT_EQ(newest().primarySource, SensorSource::sustainedGrowth);

    h.clock.advance(3600);
    s.handleSustainedGrowth({editor, t + 3600, t + 3650, 100 * MiB, 400 * MiB, true});
    EXPECT_EQ(newest().title, "Text Editor continued growing while idle");
    EXPECT_EQ(newest().explanation,
              "Text Editor kept growing for about 1 minutes (+ 300 MB).\n"
              "It grew even while you weren\u2019t using the computer much \u2014 worth a look.");
    EXPECT_EQ(newest().confidence, ConfidenceLevel::high);
    EXPECT_EQ(s.sensorLog.front().source, SensorSource::sustainedGrowth);
}

TEST_F(Stories, BrowserSessionNamesPagesElseChangesElseDuration) {
    struct Case {
        std::uint64_t growth;
        std::vector<std::string> pages;
        std::int64_t changes;
        std::vector<std::string> spanTitles;
        const char *title, *firstLine;
        std::optional<ConfidenceLevel> confidence;
        std::vector<SensorSource> sources;
    };
    const Case cases[] = {
        {79 * MiB, {}, 0, {}, nullptr, nullptr, std::nullopt, {}},
        {80 * MiB, {"Alpha Notes", "Budget Sheet"}, 2, {"Budget Sheet", "Chess Openings", "Dinner Recipes", "Easy Hikes"},
         "Firefox \u00b7 Alpha Notes, Budget Sheet, Chess Openings", "Alpha Notes, Budget Sheet, Chess Openings",
         ConfidenceLevel::high, {SensorSource::windowList}},
        {90 * MiB, {}, 3, {}, "Firefox \u00b7 3 tab/page changes", "3 tab/page changes", ConfidenceLevel::medium,
         {SensorSource::memorySampler}},
        {90 * MiB, {}, 1, {}, "Firefox \u00b7 1 tab/page changes", "1 tab/page changes", ConfidenceLevel::medium,
         {SensorSource::memorySampler}},
        {90 * MiB, {}, 0, {}, "Firefox used more memory", "Grew over ~1 min \u2014 no page details captured this time.",
         ConfidenceLevel::low, {SensorSource::memorySampler}},
    };
    // A helper process of the same family counts for the browser.
    const ProcessIdentity helper = appIdentity("name:firefox-bin", "firefox-bin");
    for (const auto& c : cases) {
        AppHarness fresh;
        AppState& state = fresh.make();
        const Date start = fresh.clock.now();
        for (const auto& title : c.spanTitles)
            state.activityBus->publishSilently(event(start + 10, Kind::titleChanged, helper, title, "cg_window_title"));
        state.handleBrowserSessionStory({browserFamily, start, start + 50, 500 * MiB, 500 * MiB + c.growth,
                                         500 * MiB + c.growth, c.pages, c.changes});
        ASSERT_EQ(state.timeline->events().size(), c.title ? 1u : 0u) << c.growth;
        if (!c.title) continue;
        const TimelineEvent& story = state.timeline->events().front();
        EXPECT_EQ(story.title, c.title);
        EXPECT_EQ(story.explanation.substr(0, story.explanation.find('\n')), c.firstLine);
        EXPECT_EQ(story.confidence, c.confidence) << c.title;
        EXPECT_EQ(story.supportingSources, c.sources) << c.title;
        EXPECT_EQ(story.immediate, story.settled);
        EXPECT_EQ(state.lowConfidenceBrowserStoryCount, c.confidence == ConfidenceLevel::low ? 1 : 0) << c.title;
        EXPECT_EQ(state.sensorLog.front().summary, c.title);
    }
}

TEST_F(Stories, BrowserSessionHintOnlyUntilTheExtensionSpoke) {
    s.handleBrowserSessionStory({browserFamily, t, t + 50, 0, 100 * MiB, 100 * MiB, {}, 0});
    EXPECT_NE(newest().explanation.find(
                  "\nInstall the browser extension for tab-level detail even in background tabs (Setup).\n"),
              std::string::npos);
    EXPECT_EQ(s.sensorLog.front().detail, "+100 MB \u00b7 sources: Memory");
    s.extensionEverConnected = true;
    s.handleBrowserSessionStory({browserFamily, t + 400, t + 450, 0, 100 * MiB, 100 * MiB, {}, 0});
    EXPECT_EQ(newest().explanation.find("Install"), std::string::npos);
    EXPECT_EQ(s.lowConfidenceBrowserStoryCount, 2);
}

TEST_F(Stories, MeasurementStoryFromTheLatestReport) {
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
    EXPECT_EQ(newest().title, "Check one action \u2014 Text Editor");
    EXPECT_EQ(newest().immediate->deltaBytes, 300 * std::int64_t(MiB));
    EXPECT_EQ(newest().settled, (ImpactWindow{300 * std::int64_t(MiB), 60, 1300 * MiB, 1300 * MiB}));
    EXPECT_EQ(newest().explanation.substr(newest().explanation.find('\n')),
              "\nBest guess from the numbers \u2014 not proven for a specific tab or click.");
    EXPECT_EQ(std::tie(s.selectedSidebar, s.selectedEventID), std::make_tuple(SidebarItem::timeline, newest().id));

    run({}, {});  // nothing measured: no target, and no made-up release of the whole baseline
    EXPECT_EQ(newest().title, "Check one action \u2014 App");
    EXPECT_FALSE(newest().relatedApp || newest().immediate || s.sensorLog.front().appName);
    EXPECT_EQ(s.timeline->events().size(), 2u);
}

}  // namespace
