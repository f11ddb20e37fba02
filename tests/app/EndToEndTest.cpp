#include <gtest/gtest.h>

#include <algorithm>

#include "tests/app/AppHarness.h"

using namespace velmora;

namespace {

TEST(Pipeline, ConstructionWiresAndDecidesTheFirstRunSheet) {
    AppHarness h;
    h.firstRun.due = true;
    AppState& s = h.make();
    int changes = 0;
    s.onChange = [&] { ++changes; };
    EXPECT_TRUE(s.showFirstRun);
    EXPECT_FALSE(s.sensorsBuilt());
    h.widget.show();
    EXPECT_TRUE(s.isFloatingWidgetVisible);
    s.settings->setDeveloperModeEnabled(true);
    EXPECT_EQ(changes, 2);
}

TEST(Pipeline, EverySampleFeedsTheStoresAndOnlyDetectsWhenMonitoring) {
    for (bool monitoring : {false, true}) {
        AppHarness h;
        AppState& s = h.make();
        int changes = 0;
        s.onChange = [&] { ++changes; };
        s.settings->setPermission(&PermissionState::memoryMonitoringEnabled, monitoring);
        s.settings->setWeeklyDigestEnabled(true);
        h.sensors.windowTitles = nullptr;
        const SystemMemorySnapshot warning{.pressure = MemoryPressureLevel::warning, .availableBytes = 1,
                                           .timestamp = h.clock.now()};
        s.measureController->start();
        changes = 0;
        s.handleTick({{.identity = appIdentity("org.gnome.TextEditor", "Text Editor"), .footprintBytes = 300 * MiB,
                       .isForeground = true}}, warning);
        s.handleTick({}, warning);
        EXPECT_EQ(s.timeline->systemHistory().size(), 2u);
        EXPECT_EQ(s.dailyStats->days().at(0).pressureWarningSeconds, 2);
        EXPECT_EQ(s.settings->lastDigestSentDate(), h.clock.now());
        EXPECT_EQ(s.measureController->baselineSamples().size(), 1u);  // the empty sample has no target
        ASSERT_NE(h.sensors.windowTitles, nullptr);                     // the sensor status read the probes
        EXPECT_GE(changes, 2);
        // Monitoring off: the change detector never saw the apps, so nothing is pending.
        EXPECT_EQ(s.changeDetector().pending().size(), monitoring ? 1u : 0u);
        EXPECT_EQ(s.changeDetector().lastSystem().has_value(), monitoring);
    }
}

// Three apps on a fake desktop, sampled for real once a simulated second; the stories go to disk.
TEST(Desktop, QuietHourThenABrowserPageThenASlowLeak) {
    AppHarness h;
    AppState& s = h.make();
    std::optional<std::uint64_t> browser;  // not running yet
    std::uint64_t editor = 400 * MiB, terminal = 60 * MiB;
    // Runs `seconds` of sampling; `step` changes the footprints before each sample.
    const auto run = [&](int seconds, auto step) {
        for (int i = 0; i < seconds; ++i) {
            step(i);
            h.processes.processes = {{200, "/usr/bin/gnome-text-editor", "gnome-text-edit", 1, editor},
                                     {300, "/usr/bin/xterm", "xterm", 1, terminal}};
            h.desktop.apps = {{200, "org.gnome.TextEditor", "Text Editor"}, {300, "xterm", "XTerm", false, true}};
            if (browser) {
                h.processes.processes.push_back({100, "/usr/lib/firefox/firefox", "firefox", 1, *browser});
                h.desktop.apps.push_back({100, "firefox", "Firefox", false, true});
            }
            h.scheduler.advance(1.0);
        }
    };
    s.sampler->start();
    run(3600, [&](int i) {  // an hour of jitter: a few MiB up and down in every app
        const std::uint64_t wobble = static_cast<std::uint64_t>((i * 7919) % 11) * MiB;
        editor = 400 * MiB + (10 * MiB - wobble);
        terminal = 60 * MiB + wobble / 2;
    });
    EXPECT_TRUE(s.timeline->events().empty());

    // The browser starts, the window-title and scripting probes report a page, and it grows by 600 MiB.
    browser = 900 * MiB;
    run(2, [&](int i) { browser = 900 * MiB + i * 100 * MiB; });
    const ProcessIdentity firefox{"firefox", "firefox", "Firefox", {100}, false};
    for (auto [kind, tag] : {std::pair{ActivityEventKind::titleChanged, "cg_window_title"},
                             std::pair{ActivityEventKind::pageNavigated, "applescript_browser"}})
        s.activityBus->publish({.id = Uuid::random(), .timestamp = h.clock.now(), .kind = kind, .app = firefox,
                                .windowTitle = "Quarterly Budget Review",
                                .semanticLabel = tag});
    run(10, [&](int i) { browser = 900 * MiB + std::min(i + 2, 6) * 100 * MiB; });
    ASSERT_EQ(s.timeline->events().size(), 1u);
    const Uuid id = s.timeline->events().front().id;
    run(200, [](int) {});
    const TimelineEvent& story = s.timeline->events().front();
    EXPECT_EQ(story.id, id);
    // The browser's session story merged into it before it settled: the story is the session's
    // now, and its measurements keep it so.
    EXPECT_EQ(story.kind, TimelineEventKind::sustainedGrowth);
    EXPECT_NE(story.title.find("Quarterly Budget Review"), std::string::npos) << story.title;
    EXPECT_EQ(story.relatedApp->displayName, "Firefox");
    ASSERT_TRUE(story.immediate && story.settled);  // follow-ups at 8 and 45 s
    EXPECT_TRUE(story.immediate->duration >= 8.0 && story.settled->duration >= 45.0);
    EXPECT_EQ(story.settled->deltaBytes, 600 * std::int64_t(MiB));
    EXPECT_FALSE(story.isPendingWindows || s.timeline->hasPendingFollowUp(id));
    EXPECT_EQ(story.supportingSources, (std::vector<SensorSource>{SensorSource::accessibility, SensorSource::windowList,
                                                                   SensorSource::appleScript}));

    // The editor leaks half a MiB a second for a quarter of an hour.
    run(900, [&](int i) { editor = 400 * MiB + static_cast<std::uint64_t>(i) * MiB / 2; });
    const auto& events = s.timeline->events();
    EXPECT_EQ(std::count_if(events.begin(), events.end(),
                            [](const auto& e) {
                                return e.kind == TimelineEventKind::sustainedGrowth &&
                                       e.relatedApp->groupingKey == "org.gnome.TextEditor";
                            }),
              1);

    // What is on disk is what the store holds.
    TimelineStore reread(h.files, TimelineStore::defaultStoragePath(h.paths), h.clock);
    EXPECT_EQ(reread.events(), s.timeline->events());
}

}  // namespace
