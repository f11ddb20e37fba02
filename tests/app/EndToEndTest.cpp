#include <gtest/gtest.h>

#include <algorithm>

#include "tests/app/AppHarness.h"

using namespace velmora;

namespace {

// Three apps on a fake desktop, sampled for real once a simulated second; the stories go to disk.
struct Desktop : ::testing::Test {
    AppHarness h;
    std::optional<std::uint64_t> browser;  // not running yet
    std::uint64_t editor = 400 * MiB, terminal = 60 * MiB;
    AppState& s = h.make();

    void refresh() {
        h.processes.processes = {{200, "/usr/bin/gnome-text-editor", "gnome-text-edit", 1, editor},
                                 {300, "/usr/bin/xterm", "xterm", 1, terminal}};
        h.desktop.apps = {{200, "org.gnome.TextEditor", "Text Editor"}, {300, "xterm", "XTerm", false, true}};
        if (!browser) return;
        h.processes.processes.push_back({100, "/usr/lib/firefox/firefox", "firefox", 1, *browser});
        h.desktop.apps.push_back({100, "firefox", "Firefox", false, true});
    }
    // Runs `seconds` of sampling; `step` changes the footprints before each sample.
    template <class Step>
    void run(int seconds, Step step) {
        for (int i = 0; i < seconds; ++i) {
            step(i);
            refresh();
            h.scheduler.advance(1.0);
        }
    }
    std::size_t count(TimelineEventKind kind) const {
        const auto& events = s.timeline->events();
        return static_cast<std::size_t>(std::count_if(events.begin(), events.end(), [&](const auto& e) { return e.kind == kind; }));
    }
};

TEST_F(Desktop, QuietHourThenABrowserPageThenASlowLeak) {
    s.sampler->start();
    // An hour of jitter: a few MiB up and down in every app.
    run(3600, [&](int i) {
        const std::uint64_t wobble = static_cast<std::uint64_t>((i * 7919) % 11) * MiB;
        editor = 400 * MiB + (10 * MiB - wobble);
        terminal = 60 * MiB + wobble / 2;
    });
    EXPECT_TRUE(s.timeline->events().empty());

    // The browser starts, the user opens a page (the window-title probe and the scripting probe
    // report it), and the browser grows by 600 MiB.
    browser = 900 * MiB;
    run(2, [&](int i) { browser = 900 * MiB + i * 100 * MiB; });
    const ProcessIdentity firefox{"firefox", "firefox", "Firefox", {100}, false};
    for (auto [kind, tag] : {std::pair{ActivityEventKind::titleChanged, "cg_window_title"},
                             std::pair{ActivityEventKind::pageNavigated, "applescript_browser"}})
        s.activityBus->publish({.id = Uuid::random(), .timestamp = h.clock.now(), .kind = kind, .app = firefox,
                                .windowTitle = "Quarterly Budget Review", .detail = "window_title_probe",
                                .semanticLabel = tag});
    run(10, [&](int i) { browser = 900 * MiB + std::min(i + 2, 6) * 100 * MiB; });
    ASSERT_EQ(s.timeline->events().size(), 1u);
    const Uuid id = s.timeline->events().front().id;
    run(200, [](int) {});
    const TimelineEvent& story = s.timeline->events().front();
    EXPECT_EQ(story.id, id);
    EXPECT_EQ(story.kind, TimelineEventKind::largeDelta);
    EXPECT_NE(story.title.find("Quarterly Budget Review"), std::string::npos) << story.title;
    EXPECT_EQ(story.relatedApp->displayName, "Firefox");
    ASSERT_TRUE(story.immediate && story.settled);
    EXPECT_GE(story.immediate->duration, 8.0);
    EXPECT_GE(story.settled->duration, 45.0);
    EXPECT_EQ(story.settled->deltaBytes, 600 * std::int64_t(MiB));
    EXPECT_FALSE(story.isPendingWindows);
    EXPECT_FALSE(s.timeline->hasPendingFollowUp(id));
    EXPECT_EQ(story.supportingSources, (std::vector<SensorSource>{SensorSource::accessibility, SensorSource::windowList,
                                                                   SensorSource::appleScript}));

    // The editor leaks half a MiB a second for a quarter of an hour.
    run(900, [&](int i) { editor = 400 * MiB + static_cast<std::uint64_t>(i) * MiB / 2; });
    EXPECT_EQ(count(TimelineEventKind::sustainedGrowth), 1u);

    // What is on disk is what the store holds.
    TimelineStore reread(h.files, TimelineStore::defaultStoragePath(h.paths), h.clock);
    EXPECT_EQ(reread.events(), s.timeline->events());
}

}  // namespace
