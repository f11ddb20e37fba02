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
using Kind = ActivityEventKind;
using Note = WorkspaceNotification;

namespace {

constexpr std::int32_t selfPid = 4000;

// What a test compares of an event: all but its id and time.
struct Seen {
    Kind kind;
    std::optional<std::string> key;  // the app's grouping key
    std::optional<std::string> title, url, detail, label;
    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& s) {
    return out << EnumNames<Kind>::names[static_cast<int>(s.kind)] << " " << s.key.value_or("-") << " "
               << s.title.value_or("-") << " " << s.url.value_or("-") << " " << s.detail.value_or("-") << " "
               << s.label.value_or("-");
}

struct Desktop {
    FakeClock clock;
    ManualScheduler scheduler{clock};
    ActivityEventBus bus;
    FakeWorkspace workspace;
    std::size_t read = 0;

    // The events published since the last call.
    std::vector<Seen> take() {
        std::vector<Seen> out;
        for (; read < bus.events().size(); ++read) {
            const auto& e = bus.events()[read];
            EXPECT_EQ(e.timestamp, clock.now());
            out.push_back({e.kind, e.app ? std::optional(e.app->groupingKey) : std::nullopt, e.windowTitle,
                           e.urlString, e.detail, e.semanticLabel});
        }
        return out;
    }
};

RunningApplication app(std::int32_t pid, std::optional<std::string> id, std::optional<std::string> name) {
    return {pid, std::move(id), std::move(name)};
}

ListedWindow window(std::int32_t pid, std::optional<std::string> title, double w, double h, int layer = 0,
                    bool onScreen = true) {
    return {1, pid, layer, std::move(title), {0, 0, w, h}, onScreen};
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
        std::vector<Seen> expected;
    } cases[] = {
        {Note::didLaunchApplication, app(10, "org.gnome.gedit", "Text Editor"), {{Kind::appLaunched, "org.gnome.gedit"}}},
        {Note::didTerminateApplication, app(10, "org.gnome.gedit", "Text Editor"),
         {{Kind::appTerminated, "org.gnome.gedit"}}},
        {Note::didActivateApplication, app(11, std::nullopt, "Gimp"),
         {{Kind::becameFrontmost, "name:Gimp", {}, {}, "Frontmost"}}},
        {Note::didLaunchApplication, app(12, std::nullopt, std::nullopt), {{Kind::appLaunched, "name:Unknown"}}},
        {Note::didActivateApplication, std::nullopt, {}},
        // This application by its desktop id under another pid, and a copy without an id by pid.
        {Note::didActivateApplication, app(13, "org.example.Velmora", "Velmora"), {}},
        {Note::didActivateApplication, app(selfPid, std::nullopt, "velmora-dev"), {}},
        {Note::didLaunchApplication, app(14, std::nullopt, "gnome-shell"), {}},
        {Note::didActivateApplication, app(15, "org.keepassxc.KeePassXC", "KeePassXC"), {}},
    };
    for (const auto& c : cases) {
        d.workspace.deliver(c.note, c.app);
        EXPECT_EQ(d.take(), c.expected) << (c.app && c.app->localizedName ? *c.app->localizedName : "none");
    }
    const auto& unknown = d.bus.events()[3].app;
    EXPECT_EQ(unknown->displayName, "Unknown");
    EXPECT_EQ(unknown->pids, std::vector<std::int32_t>{12});

    monitor.stop();
    EXPECT_TRUE(d.workspace.observers.empty());
    d.workspace.deliver(Note::didLaunchApplication, app(20, "org.gnome.gedit", "Text Editor"));
    EXPECT_TRUE(d.take().empty());
}

TEST(WindowTitleProbeTest, LargestOrdinaryOnScreenWindowAndOneEventPerChange) {
    Desktop d;
    FakeWindowList windows;
    WindowTitleProbe probe(d.bus, d.workspace, windows, d.scheduler, d.clock, SelfProcess{selfPid});
    const auto editor = app(10, "org.gnome.gedit", "Text Editor");
    const auto terminal = app(20, std::nullopt, "xterm");
    const auto bank = app(30, std::nullopt, "Bank of Example");
    const auto seen = [](Kind kind, const char* key, const char* title) {
        return Seen{kind, key, title, std::nullopt, "window_title_probe", "cg_window_title"};
    };

    const struct {
        const char* what;
        std::optional<RunningApplication> front;
        std::vector<ListedWindow> list;
        std::vector<Seen> expected;
        std::optional<std::string> observedTitle;
        std::optional<std::string> observedApp;
    } steps[] = {
        {"largest of the pid's on-screen ordinary windows", editor,
         {window(10, "small", 10, 10), window(99, "other app", 900, 900), window(10, "hidden", 800, 800, 0, false),
          window(10, "panel", 700, 700, ListedWindow::dockLayer), window(10, "", 600, 600),
          window(10, "big", 40, 40)},
         {seen(Kind::windowOpened, "org.gnome.gedit", "big")}, "big", "Text Editor"},
        {"unchanged", editor, {window(10, "big", 40, 40)}, {}, "big", "Text Editor"},
        {"equal areas: the one in front", editor, {window(10, "front", 20, 20), window(10, "back", 20, 20)},
         {seen(Kind::titleChanged, "org.gnome.gedit", "front")}, "front", "Text Editor"},
        {"another app with the same title opens anew", terminal, {window(20, "front", 5, 5, ListedWindow::aboveLayer)},
         {seen(Kind::windowOpened, "name:xterm", "front")}, "front", "xterm"},
        {"an app without a titled window", editor, {window(10, std::nullopt, 50, 50)}, {}, std::nullopt, "Text Editor"},
        {"back to the terminal, unchanged", terminal, {window(20, "front", 5, 5)}, {}, "front", "xterm"},
        {"a private window is neither kept nor published", terminal, {window(20, "Private Browsing", 5, 5)}, {},
         "front", "xterm"},
        {"a sensitive app is not even looked at", bank, {window(30, "Accounts", 5, 5)}, {}, "front", "xterm"},
        {"nor is this application", app(selfPid, std::nullopt, "Velmora"), {window(selfPid, "Stories", 5, 5)}, {},
         "front", "xterm"},
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
    windows.list = {window(10, "one", 5, 5)};
    probe.start();
    probe.start();
    EXPECT_EQ(d.scheduler.activeTimers(), 1u);
    EXPECT_EQ(d.take(), std::vector<Seen>{seen(Kind::windowOpened, "org.gnome.gedit", "one")});
    windows.list = {window(10, "two", 5, 5)};
    d.scheduler.advance(0.74);
    EXPECT_TRUE(d.take().empty());
    d.scheduler.advance(0.01);
    EXPECT_EQ(d.take(), std::vector<Seen>{seen(Kind::titleChanged, "org.gnome.gedit", "two")});
    EXPECT_EQ(probe.lastObservedAt(), d.clock.now());
    probe.stop();
    EXPECT_FALSE(probe.isRunning());
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

    const struct {
        std::optional<double> idle;
        std::vector<Seen> expected;
        bool isIdle;
    } checks[] = {
        {119.9, {}, false},
        {120.0, {{Kind::userIdle, {}, {}, {}, "Idle for 120s"}}, true},
        {500.7, {}, true},
        {std::nullopt, {}, true},
        {std::nan(""), {}, true},
        {0.5, {{Kind::userResumed}}, false},
        {0.0, {}, false},
        {std::numeric_limits<double>::infinity(), {}, false},
        {185.99, {{Kind::userIdle, {}, {}, {}, "Idle for 185s"}}, true},
    };
    double untilNext = 0.01;
    for (const auto& c : checks) {
        idle.idle = c.idle;
        d.scheduler.advance(std::exchange(untilNext, 5.0));
        EXPECT_EQ(d.take(), c.expected) << c.idle.value_or(-1);
        EXPECT_EQ(detector.isIdle(), c.isIdle) << c.idle.value_or(-1);
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
    EXPECT_EQ(probe.targets()[1].urlScript, "tell application \"Safari\" to get URL of front document");
    EXPECT_EQ(probe.targets()[4].tabCountScript, std::nullopt);

    const struct {
        std::optional<std::string> id, name;
        int row;  // -1: no target
    } cases[] = {
        {std::nullopt, "Chrome", 0},
        {"com.google.Chrome.canary", std::nullopt, 0},
        {"google-chrome", "Google Chrome", 0},
        {"google-chrome", std::nullopt, 8},
        {"chromium", "Chromium", 7},
        {"org.chromium.Chromium", std::nullopt, 7},
        {"brave-browser", "Brave Web Browser", 9},
        {"microsoft-edge", std::nullopt, 10},
        {"firefox-esr", "Firefox ESR", 5},
        {"firefox-esr", std::nullopt, 11},
        {std::nullopt, "Arc", 4},
        {std::nullopt, "Arc Search", 4},
        {std::nullopt, "Archive Manager", -1},
        {"org.gnome.FileRoller", "Search Archive", -1},
        {std::nullopt, "Diagram Editor", -1},
        {std::nullopt, "Edgewise", -1},
        {"org.gnome.gedit", "Text Editor", -1},
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
    const std::string title = "tell application \"Google Chrome\" to get title of active tab of front window";
    const std::string url = "tell application \"Google Chrome\" to get URL of active tab of front window";
    const std::string tabs = "tell application \"Google Chrome\" to get count of tabs of front window";
    const std::string firefoxTitle = "tell application \"Firefox\" to get name of front window";
    const auto ok = [](std::string text) { return ScriptOutcome{true, std::move(text)}; };
    const auto chrome = app(10, "google-chrome", "Google Chrome");
    const auto page = [](Kind kind, const char* key, const char* label, std::optional<std::string> address) {
        return Seen{kind, key, label, address, label, "applescript_browser"};
    };
    const auto tab = [](const char* detail) {
        return Seen{Kind::tabActivity, "google-chrome", "example.org", "https://www.example.org/a", detail, "tab_count"};
    };

    const struct {
        const char* what;
        std::optional<RunningApplication> front;
        std::map<std::string, ScriptOutcome> answers;
        std::vector<Seen> expected;
        std::optional<std::string> lastTitle, lastError;
        std::optional<int> lastTabCount;
    } steps[] = {
        {"a first count publishes no tab event", chrome,
         {{title, ok("Docs")}, {url, ok("https://www.example.org/a")}, {tabs, ok(" 3\n")}},
         {page(Kind::pageNavigated, "google-chrome", "example.org", "https://www.example.org/a")}, "example.org",
         std::nullopt, 3},
        {"unchanged", chrome, {{title, ok("Docs")}, {url, ok("https://www.example.org/a")}, {tabs, ok("3")}}, {},
         "example.org", std::nullopt, 3},
        {"only the title changed: same label", chrome,
         {{title, ok("Other")}, {url, ok("https://www.example.org/a")}, {tabs, ok("3")}}, {}, "example.org",
         std::nullopt, 3},
        {"more tabs", chrome, {{title, ok("Docs")}, {url, ok("https://www.example.org/a")}, {tabs, ok("+5")}},
         {tab("Opened tabs (3\u21925)"),
          page(Kind::pageNavigated, "google-chrome", "example.org", "https://www.example.org/a")},
         "example.org", std::nullopt, 5},
        {"fewer tabs", chrome, {{title, ok("Docs")}, {url, ok("https://www.example.org/a")}, {tabs, ok("3")}},
         {tab("Closed tabs (5\u21923)"),
          page(Kind::pageNavigated, "google-chrome", "example.org", "https://www.example.org/a")},
         "example.org", std::nullopt, 3},
        {"a count that is no number", chrome,
         {{title, ok("Docs")}, {url, ok("https://www.example.org/b")}, {tabs, ok("3 tabs")}},
         {page(Kind::pageNavigated, "google-chrome", "example.org", "https://www.example.org/b")}, "example.org",
         std::nullopt, std::nullopt},
        {"a failed title query", chrome, {{url, ok("https://other.example/")}}, {}, "example.org", "no answer",
         std::nullopt},
        {"a private window is not even remembered", chrome,
         {{title, ok("Incognito - Bank")}, {url, ok("https://bank.example/")}}, {}, "example.org", "no answer",
         std::nullopt},
        {"no usable label", chrome, {{title, ok("New Tab")}}, {}, "example.org", "no answer", std::nullopt},
        {"the next good look clears the error", app(20, std::nullopt, "Firefox"), {{firefoxTitle, ok("Release notes")}},
         {page(Kind::titleChanged, "name:Firefox", "Release notes", std::nullopt)}, "Release notes", std::nullopt,
         std::nullopt},
        {"not a browser", app(30, "org.gnome.gedit", "Text Editor"), {}, {}, "Release notes", std::nullopt,
         std::nullopt},
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
    d.workspace.frontmost = chrome;
    runner.ran.clear();
    probe.start();
    probe.start();
    EXPECT_EQ(d.scheduler.activeTimers(), 1u);
    d.scheduler.advance(1.0);
    EXPECT_EQ(runner.ran.size(), 9u);
    runner.available = false;
    probe.start();
    EXPECT_FALSE(probe.isRunning());
    EXPECT_EQ(d.scheduler.activeTimers(), 0u);
    probe.poll();
    EXPECT_EQ(runner.ran.size(), 9u);
    EXPECT_EQ(probe.lastError(), "no answer");
}
