#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>

#include "sensors/BrowserScriptingProbe.h"
#include "sensors/IdleDetector.h"
#include "sensors/WindowTitleProbe.h"
#include "sensors/WorkspaceActivityMonitor.h"
#include "tests/fakes/FakeDesktop.h"
#include "tests/fakes/ManualScheduler.h"

using namespace velmora;
using Note = WorkspaceNotification;
using Lines = std::vector<std::string>;

namespace {

constexpr std::int32_t selfPid = 4000;

struct Desktop {
    FakeClock clock;
    ManualScheduler scheduler{clock};
    ActivityEventBus bus;
    FakeWorkspace workspace;
    std::size_t read = 0;

    // The events published since the last call, as "kind|app key|title|url|detail|source tag".
    Lines take() {
        Lines out;
        const auto opt = [](const std::optional<std::string>& s) { return s.value_or("-"); };
        for (; read < bus.events().size(); ++read) {
            const auto& e = bus.events()[read];
            EXPECT_EQ(e.timestamp, clock.now());
            out.push_back(std::string(EnumNames<ActivityEventKind>::names[static_cast<int>(e.kind)]) + "|" +
                          (e.app ? e.app->groupingKey : "-") + "|" + opt(e.windowTitle) + "|" + opt(e.urlString) + "|" +
                          opt(e.detail) + "|" + opt(e.semanticLabel));
        }
        return out;
    }
};

RunningApplication app(std::int32_t pid, std::optional<std::string> id, std::optional<std::string> name) {
    return {pid, std::move(id), std::move(name)};
}

ListedWindow window(std::int32_t pid, std::optional<std::string> title, double side, int layer = 0, bool shown = true) {
    return {1, pid, layer, std::move(title), {0, 0, side, side}, shown};
}

}  // namespace

TEST(WorkspaceActivityMonitorTest, OneEventPerNotificationLeavingOutSelfNoiseAndSensitiveApps) {
    Desktop d;
    WorkspaceActivityMonitor monitor(d.bus, d.workspace, d.clock, SelfProcess{selfPid, "org.example.Velmora"});
    monitor.start();
    monitor.start();  // replaces, never adds
    EXPECT_EQ(d.workspace.observers.size(), 3u);

    const struct {
        Note note;
        std::optional<RunningApplication> app;
        Lines expected;
    } cases[] = {
        {Note::didLaunchApplication, app(10, "org.gnome.gedit", "Text Editor"), {"appLaunched|org.gnome.gedit|-|-|-|-"}},
        {Note::didTerminateApplication, app(10, "org.gnome.gedit", std::nullopt), {"appTerminated|org.gnome.gedit|-|-|-|-"}},
        {Note::didActivateApplication, app(11, std::nullopt, "Gimp"), {"becameFrontmost|name:Gimp|-|-|Frontmost|-"}},
        {Note::didLaunchApplication, app(12, std::nullopt, std::nullopt), {"appLaunched|name:Unknown|-|-|-|-"}},
        {Note::didActivateApplication, std::nullopt, {}},
        // This application by its desktop id under another pid, and a copy without an id by pid.
        {Note::didActivateApplication, app(13, "org.example.Velmora", "Velmora"), {}},
        {Note::didActivateApplication, app(selfPid, std::nullopt, "velmora-dev"), {}},
        {Note::didLaunchApplication, app(14, std::nullopt, "gnome-shell"), {}},
        {Note::didActivateApplication, app(15, "org.keepassxc.KeePassXC", "KeePassXC"), {}},
    };
    for (const auto& c : cases) {
        d.workspace.deliver(c.note, c.app);
        EXPECT_EQ(d.take(), c.expected) << (c.app ? c.app->pid : 0);
    }
    EXPECT_EQ(d.bus.events()[3].app, (ProcessIdentity{"name:Unknown", std::nullopt, "Unknown", {12}}));

    monitor.stop();
    EXPECT_TRUE(d.workspace.observers.empty());
}

TEST(WindowTitleProbeTest, LargestOrdinaryOnScreenWindowAndOneEventPerChange) {
    Desktop d;
    FakeWindowList windows;
    WindowTitleProbe probe(d.bus, d.workspace, windows, d.scheduler, d.clock, SelfProcess{selfPid});
    const auto editor = app(10, "org.gnome.gedit", "Text Editor"), terminal = app(20, std::nullopt, "xterm");
    const auto event = [](const std::string& kind, const std::string& key, const std::string& title) {
        return kind + "|" + key + "|" + title + "|-|window_title_probe|cg_window_title";
    };

    const struct {
        const char* what;
        std::optional<RunningApplication> front;
        std::vector<ListedWindow> list;
        Lines expected;
        std::optional<std::string> observedTitle, observedApp;
    } steps[] = {
        {"largest of the app's on-screen ordinary windows", editor,
         {window(10, "small", 10), window(99, "other app", 90), window(10, "hidden", 80, 0, false),
          window(10, "panel", 70, ListedWindow::dockLayer), window(10, "", 60), window(10, "big", 40)},
         {event("windowOpened", "org.gnome.gedit", "big")}, "big", "Text Editor"},
        {"unchanged", editor, {window(10, "big", 40)}, {}, "big", "Text Editor"},
        {"equal areas: the one in front", editor, {window(10, "front", 20), window(10, "back", 20)},
         {event("titleChanged", "org.gnome.gedit", "front")}, "front", "Text Editor"},
        {"same title, other app; only windows above the ordinary layer", terminal,
         {window(20, "front", 5, ListedWindow::aboveLayer)}, {event("windowOpened", "name:xterm", "front")}, "front",
         "xterm"},
        {"an app without a titled window", editor, {window(10, std::nullopt, 50)}, {}, std::nullopt, "Text Editor"},
        {"back, unchanged", terminal, {window(20, "front", 5)}, {}, "front", "xterm"},
        {"a private window is neither kept nor published", terminal, {window(20, "Private Browsing", 5)}, {}, "front",
         "xterm"},
        {"a sensitive app is not looked at", app(30, std::nullopt, "Bank of X"), {window(30, "Accounts", 5)}, {},
         "front", "xterm"},
        {"nor is this application", app(selfPid, std::nullopt, "Velmora"), {window(selfPid, "Stories", 5)}, {}, "front",
         "xterm"},
        {"no front app", std::nullopt, {}, {}, "front", "xterm"},
    };
    for (const auto& s : steps) {
        d.workspace.frontmost = s.front;
        windows.list = s.list;
        probe.poll();
        EXPECT_EQ(d.take(), s.expected) << s.what;
        EXPECT_EQ(probe.lastObservedTitle(), s.observedTitle) << s.what;
        EXPECT_EQ(probe.lastObservedApp(), s.observedApp) << s.what;
    }

    // start looks at once and then every 0.75 s, with one timer however often it is called.
    d.workspace.frontmost = editor;
    windows.list = {window(10, "one", 5)};
    probe.start();
    probe.start();
    EXPECT_EQ(d.scheduler.activeTimers(), 1u);
    EXPECT_EQ(d.take(), Lines{event("windowOpened", "org.gnome.gedit", "one")});
    windows.list = {window(10, "two", 5)};
    d.scheduler.advance(0.74);
    EXPECT_EQ(d.take(), Lines{});
    d.scheduler.advance(0.01);
    EXPECT_EQ(d.take(), Lines{event("titleChanged", "org.gnome.gedit", "two")});
    probe.stop();
    EXPECT_EQ(d.scheduler.activeTimers(), 0u);
}

TEST(IdleDetectorTest, FirstCheckAfterFiveSecondsAndOneEventPerTransition) {
    Desktop d;
    FakeIdleTimeSource idle;
    IdleDetector detector(d.bus, idle, d.scheduler, d.clock);
    detector.start();
    detector.start();
    EXPECT_EQ(d.scheduler.activeTimers(), 1u);
    d.scheduler.advance(4.99);
    EXPECT_EQ(idle.reads, 0);

    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<std::optional<double>, Lines> checks[] = {
        {119.9, {}}, {120.0, {"userIdle|-|-|-|Idle for 120s|-"}}, {500.7, {}}, {std::nullopt, {}}, {std::nan(""), {}},
        {0.5, {"userResumed|-|-|-|-|-"}}, {0.0, {}}, {inf, {}}, {185.99, {"userIdle|-|-|-|Idle for 185s|-"}},
    };
    double untilNext = 0.01;
    for (const auto& [seconds, expected] : checks) {
        idle.idle = seconds;
        d.scheduler.advance(std::exchange(untilNext, 5.0));
        EXPECT_EQ(d.take(), expected) << seconds.value_or(-1);
        EXPECT_EQ(detector.isIdle(), !d.bus.events().empty() && d.bus.events().back().kind == ActivityEventKind::userIdle);
    }
    EXPECT_EQ(idle.reads, 9);
}

TEST(BrowserScriptingProbeTest, TargetsMatchWholeNamesIdsAndWords) {
    Desktop d;
    FakeScriptRunner runner;
    BrowserScriptingProbe probe(d.bus, d.workspace, runner, d.scheduler, d.clock, SelfProcess{selfPid});
    ASSERT_EQ(probe.targets().size(), 12u);
    EXPECT_EQ(probe.targets()[0].titleScript,
              "tell application \"Google Chrome\" to get title of active tab of front window");

    const struct {
        std::optional<std::string> id, name;
        int row;  // -1: no target
    } cases[] = {
        {std::nullopt, "Chrome", 0},         {"com.google.Chrome.canary", std::nullopt, 0},
        {"google-chrome", "Google Chrome", 0}, {"google-chrome", std::nullopt, 8},
        {"chromium", "Chromium", 7},           {"org.chromium.Chromium", std::nullopt, 7},
        {"brave-browser", "Brave Web Browser", 9}, {"microsoft-edge", std::nullopt, 10},
        {"firefox-esr", "Firefox ESR", 5},     {"firefox-esr", std::nullopt, 11},
        {std::nullopt, "Arc", 4},              {std::nullopt, "Arc Search", 4},
        {std::nullopt, "Archive Manager", -1}, {"org.gnome.FileRoller", "Search Archive", -1},
        {std::nullopt, "Diagram Editor", -1},  {std::nullopt, "Edgewise", -1},
    };
    for (const auto& c : cases) {
        const auto* target = probe.targetFor(app(1, c.id, c.name));
        EXPECT_EQ(target ? target - probe.targets().data() : -1, c.row) << c.id.value_or("") << c.name.value_or("");
    }
}

TEST(BrowserScriptingProbeTest, PageAndTabEventsOnlyWhenTheFingerprintChanges) {
    Desktop d;
    FakeScriptRunner runner;
    BrowserScriptingProbe probe(d.bus, d.workspace, runner, d.scheduler, d.clock, SelfProcess{selfPid});
    const std::string chrome = "tell application \"Google Chrome\" to get ";
    const std::string title = chrome + "title of active tab of front window", url = chrome + "URL of active tab of front window",
                      tabs = chrome + "count of tabs of front window";
    const auto ok = [](std::string text) { return ScriptOutcome{true, std::move(text)}; };
    const auto front = app(10, "google-chrome", "Google Chrome");
    const std::string a = "https://www.example.org/a";
    const std::string pageA = "pageNavigated|google-chrome|example.org|" + a + "|example.org|applescript_browser";
    const auto tab = [&](const std::string& change) {
        return "tabActivity|google-chrome|example.org|" + a + "|" + change + "|tab_count";
    };

    const struct {
        const char* what;
        std::optional<RunningApplication> front;
        std::map<std::string, ScriptOutcome> answers;
        Lines expected;
        std::optional<std::string> lastTitle, lastError;
        std::optional<int> lastTabCount;
    } steps[] = {
        {"a first count publishes no tab event", front, {{title, ok("Docs")}, {url, ok(a)}, {tabs, ok(" 3\n")}}, {pageA},
         "example.org", std::nullopt, 3},
        {"only the title changed: same label, nothing new", front, {{title, ok("Other")}, {url, ok(a)}, {tabs, ok("3")}}, {},
         "example.org", std::nullopt, 3},
        {"more tabs", front, {{title, ok("Docs")}, {url, ok(a)}, {tabs, ok("+5")}}, {tab("Opened tabs (3\u21925)"), pageA},
         "example.org", std::nullopt, 5},
        {"fewer tabs", front, {{title, ok("Docs")}, {url, ok(a)}, {tabs, ok("3")}}, {tab("Closed tabs (5\u21923)"), pageA},
         "example.org", std::nullopt, 3},
        {"a count that is no number; another page of the same host", front,
         {{title, ok("Docs")}, {url, ok("https://www.example.org/b")}, {tabs, ok("3 tabs")}},
         {"pageNavigated|google-chrome|example.org|https://www.example.org/b|example.org|applescript_browser"},
         "example.org", std::nullopt, std::nullopt},
        {"a failed title query", front, {{url, ok("https://other.example/")}}, {}, "example.org", "no answer",
         std::nullopt},
        {"a private window is not even remembered", front, {{title, ok("Incognito - Bank")}, {url, ok("https://b.example/")}},
         {}, "example.org", "no answer", std::nullopt},
        {"no usable label", front, {{title, ok("New Tab")}}, {}, "example.org", "no answer", std::nullopt},
        {"the next good look clears the error", app(20, std::nullopt, "Firefox"),
         {{"tell application \"Firefox\" to get name of front window", ok("Release notes")}},
         {"titleChanged|name:Firefox|Release notes|-|Release notes|applescript_browser"}, "Release notes", std::nullopt,
         std::nullopt},
        {"not a browser", app(30, "org.gnome.gedit", "Text Editor"), {}, {}, "Release notes", std::nullopt, std::nullopt},
    };
    for (const auto& s : steps) {
        d.workspace.frontmost = s.front;
        runner.answers = s.answers;
        probe.poll();
        EXPECT_EQ(d.take(), s.expected) << s.what;
        EXPECT_EQ(probe.lastTitle(), s.lastTitle) << s.what;
        EXPECT_EQ(probe.lastError(), s.lastError) << s.what;
        EXPECT_EQ(probe.lastTabCount(), s.lastTabCount) << s.what;
    }
    EXPECT_EQ(probe.lastAppName(), "Firefox");

    // Once a second, one timer; nothing at all where browsers cannot be scripted.
    d.workspace.frontmost = front;
    runner.ran.clear();
    probe.start();
    probe.start();
    EXPECT_EQ(d.scheduler.activeTimers(), 1u);
    d.scheduler.advance(1.0);
    EXPECT_EQ(runner.ran.size(), 9u);
    runner.available = false;
    probe.start();
    probe.poll();
    EXPECT_FALSE(probe.isRunning());
    EXPECT_EQ(d.scheduler.activeTimers(), 0u);
    EXPECT_EQ(runner.ran.size(), 9u);
}
