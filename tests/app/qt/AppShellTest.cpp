// Start-up, the permission refresh, and the view queries and actions of the application state.
#include <gtest/gtest.h>

#include "tests/app/AppHarness.h"

namespace velmora {
namespace {

constexpr std::int32_t selfPid = 999;  // the harness's own pid

struct Shell : AppHarness {
    explicit Shell(PermissionState switches = {}) { defaults.setValue("Velmora.PermissionState", switches.toJson()); }
    AppState& makeWithResources(const std::string& folder) {
        auto deps = dependencies();
        deps.resourceDirectory = folder;
        state = std::make_unique<AppState>(deps);
        return *state;
    }
    // One sample of these processes (pid, name, MiB).
    void sample(const std::vector<std::tuple<std::int32_t, std::string, std::uint64_t>>& procs) {
        processes.processes.clear();
        for (const auto& [pid, name, mib] : procs)
            processes.processes.push_back(ProcessReading{pid, "/usr/bin/" + name, name, 1, mib * MiB});
        state->sampler->tick();
    }
};

TEST(AppShellStart, StartsOnceAndKeepsOnePermissionTimer) {
    struct Row {
        const char* name;
        bool monitoring, wasVisible;
    };
    for (const Row row : {Row{"monitoring on, widget was open", true, true}, Row{"monitoring off", false, false}}) {
        SCOPED_TRACE(row.name);
        Shell s(PermissionState{row.monitoring, false, false, false});
        s.widget.wasVisible = row.wasVisible;
        auto& state = s.make();
        EXPECT_FALSE(state.sensorsBuilt());
        state.start();
        const auto timers = s.scheduler.activeTimers();
        state.start();  // a second window showing
        EXPECT_EQ(s.scheduler.activeTimers(), timers);
        EXPECT_EQ(s.sensors.workspace->starts, 1);
        EXPECT_EQ(state.sampler->isRunning(), row.monitoring);
        EXPECT_EQ(s.widget.visible, row.wasVisible);
        EXPECT_EQ(state.isFloatingWidgetVisible, row.wasVisible);
        ASSERT_TRUE(s.sensors.onTabEvent);
        EXPECT_EQ(timers, row.monitoring ? 2u : 1u);  // the sampler's and the permission refresh
    }
}

TEST(AppShellStart, RefreshFollowsGrantsAndSwitches) {
    Shell s(PermissionState{false, true, true, false});
    auto& state = s.make();
    state.start();
    auto* monitor = s.sensors.accessibility;
    auto* buffer = s.sensors.screenshots;
    EXPECT_FALSE(monitor->running);
    EXPECT_FALSE(buffer->trusted);
    buffer->capturing = false;  // the real buffer does not capture without the grant

    s.accessibility.granted = true;
    s.screenRecording.granted = true;
    s.scheduler.advance(1.9);
    EXPECT_FALSE(monitor->running);
    s.scheduler.advance(0.2);
    EXPECT_TRUE(monitor->running);
    EXPECT_TRUE(monitor->trusted);
    EXPECT_TRUE(buffer->capturing);
    EXPECT_TRUE(buffer->trusted);
    EXPECT_EQ(state.systemPermissions, (PermissionStatus{true, true}));

    s.accessibility.granted = false;
    s.screenRecording.granted = false;
    s.loginItem.current = LaunchAtLoginStatus::enabled;
    s.scheduler.advance(2.0);
    EXPECT_FALSE(monitor->running);
    EXPECT_FALSE(monitor->trusted);
    EXPECT_TRUE(buffer->capturing);  // a capturing buffer is left alone
    EXPECT_FALSE(buffer->trusted);
    EXPECT_EQ(state.launchAtLoginStatus, LaunchAtLoginStatus::enabled);

    // Switches: accessibility granted but switched off stops the monitor; memory on starts sampling.
    s.accessibility.granted = true;
    state.settings->setPermissions(PermissionState{true, false, false, false});
    state.applyPermissionSettings();
    EXPECT_FALSE(monitor->running);
    EXPECT_FALSE(buffer->capturing);
    EXPECT_TRUE(state.sampler->isRunning());
    EXPECT_EQ(s.sensors.workspace->starts, 1);
}

TEST(AppShellStart, RequestsTurnTheSwitchOnAndAskTheDesktop) {
    Shell s(PermissionState{true, false, false, false});
    auto& state = s.make();
    state.start();
    s.accessibility.grantOnRequest = true;
    state.requestAccessibility();
    state.requestScreenRecording();  // refused: the switch stays on, the buffer does not capture
    EXPECT_EQ(state.settings->permissions(), (PermissionState{true, true, true, false}));
    EXPECT_EQ(s.accessibility.requests, 1);
    EXPECT_EQ(s.screenRecording.requests, 1);
    EXPECT_TRUE(s.sensors.accessibility->running);
    EXPECT_FALSE(s.sensors.screenshots->capturing);
    ASSERT_EQ(s.urls.opened.size(), 2u);
    EXPECT_NE(s.urls.opened[0].find("Privacy_Accessibility"), std::string::npos);
    EXPECT_NE(s.urls.opened[1].find("Privacy_ScreenCapture"), std::string::npos);
}

TEST(AppShellActions, QuitApp) {
    struct Row {
        const char* name;
        std::string key;
        std::optional<std::string> bundleID;
        std::set<std::int32_t> running, refusing;
        std::vector<std::int32_t> wantAsked;
        bool wantResult;
        std::string wantMessage;
    };
    const std::string busy = " didn't quit — it may be busy or ask to save first.";
    Shell s;
    auto& state = s.make();
    s.sample({{10, "editor", 900}, {11, "editor", 100}, {selfPid, "velmora", 50}, {30, "systemd", 40}});
    std::string editorKey, selfKey, daemonKey;
    for (const auto& a : state.sampler->appSnapshots()) {
        if (a.identity.pids == std::vector<std::int32_t>{10, 11}) editorKey = a.identity.groupingKey;
        if (a.identity.isSelf) selfKey = a.identity.groupingKey;
        if (a.identity.pids == std::vector<std::int32_t>{30}) daemonKey = a.identity.groupingKey;
    }
    ASSERT_FALSE(editorKey.empty());
    s.terminator.byBundleID["org.example.Gone"] = {};
    const Row rows[] = {
        {"bundle app exited, no snapshot", "org.example.Gone", "org.example.Gone", {}, {}, {}, false,
         "Editor isn't running anymore."},
        {"two processes, the first refuses", editorKey, std::nullopt, {10, 11}, {10}, {10}, false, "Editor" + busy},
        {"two processes, both agree", editorKey, std::nullopt, {10, 11}, {}, {10, 11}, true, "Asked Editor to quit."},
        {"one process gone, the other asked", editorKey, std::nullopt, {11}, {}, {11}, true, "Asked Editor to quit."},
        {"Velmora itself", selfKey, std::nullopt, {selfPid}, {}, {}, false, "Editor" + busy},
        {"the system", "system", std::nullopt, {}, {}, {}, false, "Editor" + busy},
        {"a desktop daemon", daemonKey, std::nullopt, {30}, {}, {}, false, "Editor" + busy},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        s.terminator.running = row.running;
        s.terminator.refusing = row.refusing;
        s.terminator.asked.clear();
        EXPECT_EQ(state.quitApp(row.key, row.bundleID, "Editor"), row.wantResult);
        EXPECT_EQ(s.terminator.asked, row.wantAsked);
        EXPECT_EQ(state.lastQuitMessage, row.wantMessage);
    }
}

TEST(AppShellActions, InstallLoginItemAndLinks) {
    Shell s;
    auto& state = s.makeWithResources(s.dir.path() + "/res dir");
    s.installer.error = "Could not locate the running application.";
    state.installToApplications();
    EXPECT_EQ(state.lastInstallMessage, "Install failed: Could not locate the running application.");
    EXPECT_EQ(s.firstRun.completions, 0);
    s.installer.error.reset();
    state.installToApplications();
    EXPECT_EQ(state.lastInstallMessage, "Launching stable copy from ~/.local…");
    EXPECT_EQ(s.firstRun.completions, 1);

    state.setLaunchAtLogin(true);
    EXPECT_EQ(state.launchAtLoginStatus, LaunchAtLoginStatus::enabled);
    s.loginItem.refuse = true;
    state.setLaunchAtLogin(false);
    EXPECT_EQ(state.launchAtLoginStatus, LaunchAtLoginStatus::enabled);

    state.openChromeExtensionsPage();
    EXPECT_EQ(s.urls.opened, std::vector<std::string>{"chrome://extensions"});
    EXPECT_EQ(state.chromiumExtensionFolderURL(), "file://" + s.dir.path() + "/res%20dir/chromium/");
    EXPECT_EQ(state.firefoxExtensionFolderURL(), "file://" + s.dir.path() + "/res%20dir/firefox/");
    state.weeklyDigestAuthorizationAnswered(false);
    EXPECT_TRUE(state.weeklyDigestPermissionDenied);
}

TEST(AppShellActions, LaunchAtLoginChoiceSurvivesInstallAndReopen) {
    const char* key = "Velmora.LaunchAtLoginAfterInstall";
    Shell s;
    s.installer.error = "Could not copy a complete app to ~/.local.";
    s.make().installToApplications(true);
    EXPECT_FALSE(s.defaults.value(key)) << "a failed install leaves no choice behind";
    s.installer.error.reset();
    s.state->installToApplications(true);
    EXPECT_EQ(s.defaults.value(key), Json(true));
    EXPECT_TRUE(s.loginItem.requests.empty()) << "this copy registers nothing";

    // The installed copy starts over the same defaults: it registers itself, once.
    s.loginItem.current = LaunchAtLoginStatus::enabled;  // an entry of the build-folder copy
    s.make().start();
    EXPECT_EQ(s.loginItem.requests, std::vector<bool>{true});
    EXPECT_FALSE(s.defaults.value(key));
    EXPECT_EQ(s.state->launchAtLoginStatus, LaunchAtLoginStatus::enabled);
    s.make().start();
    EXPECT_EQ(s.loginItem.requests.size(), 1u);

    // Switched off before installing: the copy unregisters; no choice given: nothing changes.
    s.state->installToApplications(false);
    s.make().start();
    EXPECT_EQ(s.loginItem.requests, (std::vector<bool>{true, false}));
    EXPECT_EQ(s.state->launchAtLoginStatus, LaunchAtLoginStatus::disabled);
    s.state->installToApplications();
    s.defaults.setValue(key, "yes");  // not a Boolean: dropped, nothing registered
    s.make().start();
    EXPECT_EQ(s.loginItem.requests.size(), 2u);
    EXPECT_FALSE(s.defaults.value(key));
}

TEST(AppShellQueries, AppsInSamplerOrder) {
    Shell s;
    auto& state = s.make();
    std::vector<std::tuple<std::int32_t, std::string, std::uint64_t>> procs{{selfPid, "velmora", 3000},
                                                                           {30, "systemd", 2900}};
    for (int i = 0; i < 20; ++i) procs.emplace_back(100 + i, "app" + std::to_string(i), 2000 - 10 * i);
    s.sample(procs);
    ASSERT_TRUE(state.topApp());
    EXPECT_TRUE(state.topApp()->identity.isSelf);
    const auto widget = state.widgetApps();
    ASSERT_EQ(widget.size(), 15u);
    EXPECT_EQ(state.visibleApps().size(), 21u);  // the daemon is never shown
    for (std::size_t i = 1; i < widget.size(); ++i) EXPECT_EQ(widget[i].identity.pids.front(), 99 + int(i));
    EXPECT_FALSE(state.foregroundApp());

    s.sample({{1, "one", 10}, {2, "two", 20}, {3, "three", 30}});
    EXPECT_EQ(state.widgetApps().size(), 3u);
    EXPECT_EQ(state.topApp()->identity.pids, std::vector<std::int32_t>{3});
}

TEST(AppShellQueries, StoryMarksAndSelection) {
    Shell s;
    auto& state = s.make();
    const Date now = s.clock.now();
    const auto story = [&](TimelineEventKind kind, double ago, std::optional<std::int64_t> immediate,
                           std::optional<std::int64_t> settled, const char* key) {
        TimelineEvent e;
        e.id = Uuid::random();
        e.timestamp = now - ago;
        e.kind = kind;
        e.title = "t";
        if (immediate) e.immediate = ImpactWindow{*immediate, 8};
        if (settled) e.settled = ImpactWindow{*settled, 45};
        e.relatedApp = ProcessIdentity{key, std::nullopt, key, {}, false};
        state.timeline->add(e);
        return e.id;
    };
    const Uuid old = story(TimelineEventKind::largeDelta, 901, 1, 1, "a");
    const Uuid edge = story(TimelineEventKind::largeDelta, 899, 300 * MiB, 200 * MiB, "b");
    story(TimelineEventKind::pressureChanged, 500, 7, 7, "c");
    const Uuid measured = story(TimelineEventKind::measureSession, 400, std::nullopt, std::nullopt, "d");
    const Uuid release = story(TimelineEventKind::memoryReleased, 300, -5 * std::int64_t(MiB), std::nullopt, "b");

    const std::vector<ChartStoryMark> want{{release, now - 300, -5 * std::int64_t(MiB)},
                                           {measured, now - 400, 0},
                                           {edge, now - 899, 200 * std::int64_t(MiB)}};
    EXPECT_EQ(state.recentStoryMarks(), want);
    EXPECT_EQ(state.storyMarks("b", now - 1000).size(), 2u);
    EXPECT_EQ(state.storyMarks("b", now - 350).size(), 1u);

    state.selectedEventID = old;
    ASSERT_TRUE(state.selectedEvent());
    EXPECT_EQ(state.selectedEvent()->id, old);
    state.selectedEventID = Uuid::random();  // a story that has left the store
    EXPECT_FALSE(state.selectedEvent());
}

}  // namespace
}  // namespace velmora
