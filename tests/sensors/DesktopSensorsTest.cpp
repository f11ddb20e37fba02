// The desktop sensors on fakes in simulated time, then on X11 and AT-SPI: with no display, and
// against real windows on the test desktop (Xvfb, openbox and the accessibility bus: run under
// scripts/with-desktop.sh).
#include <gtest/gtest.h>

// Qt before Xlib, whose macros clash with Qt's names.
#include <QCoreApplication>

#include "tests/fakes/CountingScheduler.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <set>
#include <thread>

#include "platform/linux/A11yBusPermission.h"
#include "platform/linux/AtspiAccessibilityTree.h"
#include "platform/linux/UnavailableScriptRunner.h"
#include "platform/linux/X11DesktopSession.h"
#include "platform/linux/X11IdleTimeSource.h"
#include "platform/linux/X11WindowList.h"
#include "platform/linux/X11Workspace.h"
#include "sensors/AccessibilityMonitor.h"
#include "sensors/BrowserScriptingProbe.h"
#include "sensors/IdleDetector.h"
#include "sensors/WindowTitleProbe.h"
#include "sensors/WorkspaceActivityMonitor.h"
#include "tests/fakes/FakeDesktop.h"
#include "tests/fakes/FakeSources.h"
#include "tests/fakes/ManualScheduler.h"

using namespace velmora;
using namespace std::chrono_literals;
using Kind = ActivityEventKind;
using Lines = std::vector<std::string>;

namespace {

constexpr std::int32_t kSelf = 4000;

RunningApplication app(std::int32_t pid, std::optional<std::string> id, std::optional<std::string> name) {
    return {pid, std::move(id), std::move(name)};
}
const RunningApplication kEditor = app(10, "ed", "Text Editor"), kChrome = app(20, "google-chrome", "Google Chrome");

ListedWindow listed(std::int32_t pid, std::optional<std::string> title, double side, int layer = 0, bool shown = true) {
    return {1, pid, layer, std::move(title), {0, 0, side, side}, shown};
}

// An element of `role` with its non-empty texts, e.g. with("AXWindow", {{"AXTitle", "Report"}}).
FakeNode with(std::string role, std::map<std::string, std::string> texts, std::vector<FakeNode> children = {}) {
    auto node = fakeNode(std::move(role), std::move(children));
    for (auto& [name, text] : texts)
        if (!text.empty()) node->set(name, {text});
    return node;
}
FakeNode window(std::string title, std::vector<FakeNode> children = {}) {
    return with("AXWindow", {{"AXTitle", std::move(title)}}, std::move(children));
}
FakeNode field(std::string value) { return with("AXTextField", {{"AXValue", std::move(value)}}); }
FakeNode web(std::string url) { return with("AXWebArea", {{"AXURL", std::move(url)}}); }
FakeNode below(int levels, FakeNode leaf) {  // under `levels` plain groups
    for (int i = 0; i < levels; ++i) leaf = fakeNode("AXGroup", {leaf});
    return leaf;
}
FakeNode tabs(std::vector<std::string> roles) {
    std::vector<FakeNode> children;
    for (auto& r : roles) children.push_back(fakeNode(r));
    return fakeNode("AXTabGroup", std::move(children));
}
std::vector<FakeNode> after(std::size_t count, FakeNode last) {
    std::vector<FakeNode> out(count, fakeNode("AXGroup"));
    out.push_back(std::move(last));
    return out;
}

const std::string kChromeAsk = "tell application \"Google Chrome\" to get ";
const std::string kTitleScript = kChromeAsk + "title of active tab of front window",
                  kUrlScript = kChromeAsk + "URL of active tab of front window",
                  kTabsScript = kChromeAsk + "count of tabs of front window";

// Whether `done` comes to hold within 20 s of real time, with `step` before each look: the desktop
// is shared with other tests, and programs start slowly under the sanitizers.
bool eventually(const std::function<bool()>& done, const std::function<void()>& step = [] {}) {
    for (const auto end = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(50ms)) {
        step();
        if (done()) return true;
    }
    return false;
}

struct Events {
    FakeClock clock;
    ManualScheduler scheduler{clock};
    ActivityEventBus bus;
    std::size_t read = 0;

    Lines take() {  // the events published since the last call, each stamped now
        Lines out;
        for (; read < bus.events().size(); ++read) {
            EXPECT_EQ(bus.events()[read].timestamp, clock.now());
            out.push_back(eventLine(bus.events()[read]));
        }
        return out;
    }
};

struct Fakes {
    FakeWorkspace workspace;
    FakeWindowList windows;
    FakeIdleTimeSource idle;
    FakeScriptRunner runner;
    FakeAccessibilityTree tree;
    explicit Fakes(Scheduler&) {}
};

struct X11 {
    X11DesktopSession session;
    X11Workspace workspace;
    X11WindowList windows;
    X11IdleTimeSource idle;
    UnavailableScriptRunner runner;
    X11(Scheduler& scheduler, const std::string& display)
        : session(display), workspace(scheduler, session, display), windows(display), idle(display) {}
};

// The workspace, window-title, idle and browser sensors on one platform.
template <class Platform>
struct Sensors : Events, Platform {
    WorkspaceActivityMonitor monitor{bus, this->workspace, clock, SelfProcess{kSelf, "org.example.Velmora"}};
    WindowTitleProbe titles{bus, this->workspace, this->windows, scheduler, clock, SelfProcess{kSelf}};
    IdleDetector idleDetector{bus, this->idle, scheduler, clock};
    BrowserScriptingProbe browser{bus, this->workspace, this->runner, scheduler, clock, SelfProcess{kSelf}};
    template <class... Args>
    explicit Sensors(const Args&... args) : Platform(scheduler, args...) {}
    void start() {
        monitor.start();
        titles.start();
        idleDetector.start();
        browser.start();
    }
};

struct Rig : Sensors<Fakes> {
    AccessibilityMonitor a11y{bus, scheduler, clock, tree, kSelf};
    Lines look() {
        a11y.poll();
        return take();
    }
    // The browser answers these; an absent one fails.
    void answer(std::optional<std::string> title, std::optional<std::string> url, std::optional<std::string> count) {
        runner.answers.clear();
        if (title) runner.answers[kTitleScript] = {true, *title};
        if (url) runner.answers[kUrlScript] = {true, *url};
        if (count) runner.answers[kTabsScript] = {true, *count};
    }
};

// Started twice, `sensor` keeps one timer: it looks `first` s after start (0: at once), then every
// `interval` s, and no more once stopped; `show(n)` gives each look something new to report.
template <class Sensor>
void expectOneTimer(Rig& r, Sensor& sensor, double first, double interval, const std::function<void(int)>& show) {
    SCOPED_TRACE(interval);  // tells the sensors apart
    const auto expectAfter = [&](double seconds, std::size_t events) {
        r.scheduler.advance(seconds);
        EXPECT_EQ(r.take().size(), events) << "after " << seconds;
    };
    show(0);
    sensor.start();
    sensor.start();
    EXPECT_EQ(r.scheduler.activeTimers(), 1u);
    if (first > 0) expectAfter(first - 0.01, 0);
    expectAfter(first > 0 ? 0.01 : 0, 1);
    show(1);
    expectAfter(interval - 0.01, 0);
    expectAfter(0.01, 1);
    sensor.stop();
    show(2);
    expectAfter(10, 0);
    EXPECT_EQ(r.scheduler.activeTimers(), 0u);
}

// The accessible form, fed one line at a time: a command or a new title. It quits when its input closes.
struct Form {
    pid_t pid = -1;
    int input = -1;
    Form() {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return;
        if ((pid = fork()) == 0) {  // the child makes only calls that are safe between fork and exec
            dup2(fds[0], STDIN_FILENO);
            dup2(open("/dev/null", O_WRONLY | O_CLOEXEC), STDERR_FILENO);
            execl(VELMORA_TEST_PROGRAMS "/accessible_form", "accessible_form", nullptr);
            _exit(127);
        }
        close(fds[0]);
        input = fds[1];
    }
    ~Form() {
        quit();
        if (pid > 0 && kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
    }
    // A form that died fails the test instead of killing it with SIGPIPE.
    void send(const std::string& line) { EXPECT_GT(::send(input, (line + "\n").data(), line.size() + 1, MSG_NOSIGNAL), 0); }
    void quit() { close(std::exchange(input, -1)); }
};

// Skips without the test desktop; on it, a display that cannot be reached fails the test.
#define REQUIRE_DESKTOP(display)                                                             \
    if (!std::getenv("VELMORA_DESKTOP")) GTEST_SKIP() << "needs scripts/with-desktop.sh";  \
    const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";      \
    ASSERT_FALSE(display.empty()) << "VELMORA_DESKTOP is set but DISPLAY is not"

}  // namespace

TEST(DesktopSensorsTest, StartedTwiceEachSensorKeepsOneTimerUntilStopped) {
    Rig t, i, b, a;
    expectOneTimer(t, t.titles, 0, 0.75, [&](int n) {
        t.workspace.frontmost = kEditor;
        t.windows.list = {listed(10, std::to_string(n), 5)};
    });
    expectOneTimer(i, i.idleDetector, 5, 5, [&](int n) { i.idle.idle = n == 1 ? 0 : 130; });
    expectOneTimer(b, b.browser, 0, 1, [&](int n) {
        b.workspace.frontmost = kChrome;
        b.answer("T", "https://a.org/" + std::to_string(n), {});
    });
    expectOneTimer(a, a.a11y, 0, 0.5, [&](int n) { a.tree.show(kEditor, window(std::to_string(n))); });
}

TEST(DesktopSensorsTest, WorkspaceNotificationsLeaveOutSelfNoiseAndSensitiveApps) {
    Rig r;
    r.monitor.start();
    r.monitor.start();  // replaces, never adds
    EXPECT_EQ(r.workspace.observers.size(), 3u);
    using N = WorkspaceNotification;
    const std::tuple<N, std::optional<RunningApplication>, Lines> cases[] = {
        {N::didLaunchApplication, app(10, "org.gnome.gedit", "Text Editor"), {"appLaunched|org.gnome.gedit|-|-|-|-"}},
        {N::didTerminateApplication, app(10, "org.gnome.gedit", {}), {"appTerminated|org.gnome.gedit|-|-|-|-"}},
        {N::didActivateApplication, app(11, {}, "Gimp"), {"becameFrontmost|name:Gimp|-|-|Frontmost|-"}},
        {N::didLaunchApplication, app(12, {}, {}), {"appLaunched|name:Unknown|-|-|-|-"}},
        {N::didActivateApplication, std::nullopt, {}},
        // This application by its desktop id under another pid, and a copy without an id by pid,
        // under names that are not on the noise list.
        {N::didActivateApplication, app(13, "org.example.Velmora", "Stories"), {}},
        {N::didActivateApplication, app(kSelf, {}, "dev build"), {}},
        {N::didLaunchApplication, app(14, {}, "gnome-shell"), {}},
        {N::didActivateApplication, app(15, "org.keepassxc.KeePassXC", "KeePassXC"), {}},
    };
    for (const auto& [note, application, expected] : cases) {
        r.workspace.deliver(note, application);
        EXPECT_EQ(r.take(), expected) << (application ? application->pid : 0);
    }
    EXPECT_EQ(r.bus.events()[3].app, (ProcessIdentity{"name:Unknown", std::nullopt, "Unknown", {12}}));
    r.monitor.stop();
    EXPECT_TRUE(r.workspace.observers.empty());
}

TEST(DesktopSensorsTest, WindowTitleOfTheLargestOrdinaryOnScreenWindowOncePerChange) {
    Rig r;
    const auto terminal = app(20, std::nullopt, "xterm");
    const auto event = [](const std::string& kind, const std::string& key, const std::string& title) {
        return kind + "|" + key + "|" + title + "|-|-|cg_window_title";
    };
    const struct {
        const char* what;
        std::optional<RunningApplication> front;
        std::vector<ListedWindow> list;
        Lines expected;
        std::optional<std::string> observedTitle, observedApp;
    } steps[] = {
        {"largest of the app's on-screen ordinary windows", kEditor,
         {listed(10, "small", 10), listed(99, "other app", 90), listed(10, "hidden", 80, 0, false),
          listed(10, "panel", 70, ListedWindow::dockLayer), listed(10, "", 60), listed(10, "big", 40)},
         {event("windowOpened", "ed", "big")}, "big", "Text Editor"},
        {"equal areas: the one in front", kEditor, {listed(10, "front", 20), listed(10, "back", 20)},
         {event("titleChanged", "ed", "front")}, "front", "Text Editor"},
        {"same title, other app; only windows above the ordinary layer", terminal,
         {listed(20, "front", 5, ListedWindow::aboveLayer)}, {event("windowOpened", "name:xterm", "front")}, "front", "xterm"},
        {"an app without a titled window", kEditor, {listed(10, std::nullopt, 50)}, {}, std::nullopt, "Text Editor"},
        {"back, unchanged", terminal, {listed(20, "front", 5)}, {}, "front", "xterm"},
        {"a private window is neither kept nor published", terminal, {listed(20, "Private Browsing", 5)}, {}, "front", "xterm"},
        {"a sensitive app is not looked at", app(30, {}, "Bank of X"), {listed(30, "Accounts", 5)}, {}, "front", "xterm"},
        {"nor is this application", app(kSelf, {}, "Velmora"), {listed(kSelf, "Stories", 5)}, {}, "front", "xterm"},
        {"no front app", std::nullopt, {}, {}, "front", "xterm"},
        {"an incognito Chromium window looks like any other: no Chromium title is read",
         app(40, "chromium", "Chromium"), {listed(40, "Secret Plans - Chromium", 5)}, {}, std::nullopt, "Chromium"},
        {"nor a Google Chrome one", app(41, "google-chrome", "Google Chrome"), {listed(41, "Plans - Google Chrome", 5)},
         {}, std::nullopt, "Google Chrome"},
        {"Firefox marks its private windows", app(42, "firefox-esr", "Firefox ESR"),
         {listed(42, "Navigation privée \u2014 Mozilla Firefox", 5)}, {}, std::nullopt, "Firefox ESR"},
        {"and keeps its other titles", app(42, "firefox-esr", "Firefox ESR"), {listed(42, "Notes \u2014 Mozilla Firefox", 5)},
         {event("windowOpened", "firefox-esr", "Notes \u2014 Mozilla Firefox")}, "Notes \u2014 Mozilla Firefox", "Firefox ESR"},
    };
    for (const auto& s : steps) {
        r.workspace.frontmost = s.front;
        r.windows.list = s.list;
        r.titles.poll();
        EXPECT_EQ(r.take(), s.expected) << s.what;
        EXPECT_EQ(std::pair(r.titles.lastObservedTitle(), r.titles.lastObservedApp()),
                  std::pair(s.observedTitle, s.observedApp)) << s.what;
    }
}

TEST(DesktopSensorsTest, IdleFromTwoMinutesOnOneEventPerTransition) {
    Rig r;
    r.idleDetector.start();
    const std::pair<std::optional<double>, Lines> checks[] = {
        {119.9, {}}, {120.0, {"userIdle|-|-|-|Idle for 120s|-"}}, {500.7, {}}, {std::nullopt, {}}, {NAN, {}},
        {0.5, {"userResumed|-|-|-|-|-"}}, {0.0, {}}, {HUGE_VAL, {}}, {-3, {}}, {185.99, {"userIdle|-|-|-|Idle for 185s|-"}},
    };
    for (const auto& [seconds, expected] : checks) {
        r.idle.idle = seconds;
        r.scheduler.advance(5);
        EXPECT_EQ(r.take(), expected) << seconds.value_or(-1);
        EXPECT_EQ(r.idleDetector.isIdle(), !r.bus.events().empty() && r.bus.events().back().kind == Kind::userIdle);
    }
}

TEST(DesktopSensorsTest, BrowserTargetsMatchWholeNamesIdsAndWords) {
    Rig r;
    const std::tuple<std::optional<std::string>, std::optional<std::string>, int> cases[] = {  // -1: no target
        {{}, "Chrome", 0},  {"com.google.Chrome.canary", {}, 0},  {"google-chrome", "Google Chrome", 0},
        {"google-chrome", {}, 8}, {"chromium", "Chromium", 7}, {"org.chromium.Chromium", {}, 7},
        {"brave-browser", "Brave Web Browser", 9}, {"microsoft-edge", {}, 10}, {"firefox-esr", "Firefox ESR", 5},
        {"firefox-esr", {}, 11}, {{}, "Arc", 4}, {{}, "Arc Search", 4}, {{}, "Archive Manager", -1},
        {"org.gnome.FileRoller", "Search Archive", -1}, {{}, "Diagram Editor", -1}, {{}, "Edgewise", -1},
        {"nvidia-settings", "NVIDIA X Server Settings", -1}, {"org.kde.kdialog", "KDialog", -1},
        {"company.thebrowser.dia", {}, 6}, {"dia", {}, 6},
    };
    for (const auto& [id, name, row] : cases) {
        const auto* target = r.browser.targetFor(app(1, id, name));
        EXPECT_EQ(target ? target - r.browser.targets().data() : -1, row) << id.value_or("") << name.value_or("");
    }
}

TEST(DesktopSensorsTest, BrowserPageAndTabEventsOnlyWhenTheFingerprintChanges) {
    Rig r;
    const std::string a = "https://www.example.org/a";
    const std::string pageA = "pageNavigated|google-chrome|example.org|" + a + "|example.org|applescript_browser";
    const auto tab = [&](const std::string& change) {
        return "tabActivity|google-chrome|example.org|" + a + "|" + change + "|tab_count";
    };
    const struct {
        const char* what;
        std::optional<std::string> title, url, count;
        Lines expected;
        std::optional<std::string> lastTitle, lastError;
        std::optional<int> lastTabCount;
    } steps[] = {
        {"a first count publishes no tab event", "Docs", a, " 3\n", {pageA}, "example.org", {}, 3},
        {"only the title changed: same label, nothing new", "Other", a, "3", {}, "example.org", {}, 3},
        {"more tabs", "Docs", a, "+5", {tab("Opened tabs (3\u21925)"), pageA}, "example.org", {}, 5},
        {"fewer tabs", "Docs", a, "3", {tab("Closed tabs (5\u21923)"), pageA}, "example.org", {}, 3},
        {"a count that is no number; another page of the same host", "Docs", "https://www.example.org/b", "3 tabs",
         {"pageNavigated|google-chrome|example.org|https://www.example.org/b|example.org|applescript_browser"},
         "example.org", {}, {}},
        {"a failed title query", {}, "https://other.example/", {}, {}, "example.org", "no answer", {}},
        {"a private window is not even remembered", "Incognito - Bank", "https://b.example/", {}, {}, "example.org",
         "no answer", {}},
        {"no usable label", "New Tab", {}, {}, {}, "example.org", "no answer", {}},
    };
    r.workspace.frontmost = kChrome;
    for (const auto& s : steps) {
        r.answer(s.title, s.url, s.count);
        r.browser.poll();
        EXPECT_EQ(r.take(), s.expected) << s.what;
        EXPECT_EQ(std::tuple(r.browser.lastTitle(), r.browser.lastError(), r.browser.lastTabCount()),
                  std::tuple(s.lastTitle, s.lastError, s.lastTabCount)) << s.what;
    }
    // The next good look clears the error; an app that is no browser is not asked.
    r.workspace.frontmost = app(30, {}, "Firefox");
    r.runner.answers = {{"tell application \"Firefox\" to get name of front window", {true, "Release notes"}}};
    r.browser.poll();
    EXPECT_EQ(r.take(), Lines{"titleChanged|name:Firefox|Release notes|-|Release notes|applescript_browser"});
    EXPECT_EQ(r.browser.lastError(), std::nullopt);
    EXPECT_EQ(r.browser.lastAppName(), "Firefox");
    r.workspace.frontmost = kEditor;
    const int runs = r.runner.runs;
    r.browser.poll();
    EXPECT_EQ(r.runner.runs, runs);

    // Where browsers cannot be scripted: no timer, no question, no error.
    r.browser.start();
    r.workspace.frontmost = kChrome;
    r.runner.available = false;
    r.browser.start();
    r.browser.poll();
    EXPECT_FALSE(r.browser.isRunning());
    EXPECT_EQ(r.scheduler.activeTimers(), 0u);
    EXPECT_EQ(r.runner.runs, runs);
    EXPECT_EQ(r.browser.lastError(), std::nullopt);
}

TEST(DesktopSensorsTest, AccessibilityPollOfOneWindow) {
    const std::string ex = "example.org/path", www = "https://www.a.www.b.org/x";
    const std::tuple<const char*, FakeNode, Lines> cases[] = {
        {"every www. removed", with("AXWindow", {{"AXTitle", "S"}, {"AXURL", www}}),
         {"pageNavigated|ed|S|" + www + "|a.b.org|url_change", "windowOpened|ed|S|" + www + "|-|-"}},
        {"a document; its address has no host", with("AXWindow", {{"AXDocument", "file:///u/notes.txt/"}}),
         {"documentOpened|ed|-|-|notes.txt|document", "pageNavigated|ed|-|file:///u/notes.txt/|-|url_change"}},
        {"an address that does not parse", with("AXWindow", {{"AXURL", "http://exa mple.org/"}}),
         {"pageNavigated|ed|-|http://exa mple.org/|-|url_change"}},
        {"an address as browsers show it", with("AXWindow", {{"AXURL", "https://www.shop.example/p?f[c]=red|blue"}}),
         {"pageNavigated|ed|-|https://www.shop.example/p?f[c]=red|blue|shop.example|url_change"}},
        {"text without a scheme is no window address, the document is",
         with("AXWindow", {{"AXURL", "example.org"}, {"AXDocument", "https://d.net/x"}}),
         {"documentOpened|ed|-|-|x|document", "pageNavigated|ed|-|https://d.net/x|d.net|url_change"}},
        {"web area 5 deep", window("", {below(4, web("https://a.org/"))}),
         {"pageNavigated|ed|-|https://a.org/|a.org|url_change"}},
        {"web area 6 deep", window("", {below(5, web("https://a.org/"))}), {}},
        {"web area 20th child", window("", after(19, web("https://b.org/"))),
         {"pageNavigated|ed|-|https://b.org/|b.org|url_change"}},
        {"web area 21st child", window("", after(20, web("https://b.org/"))), {}},
        {"web area without address, then the text field", window("", {fakeNode("AXWebArea"), field(ex)}),
         {"pageNavigated|ed|-|example.org/path|-|url_change"}},
        {"text field 4 deep", window("", {below(3, field(ex))}), {"pageNavigated|ed|-|example.org/path|-|url_change"}},
        {"text field 5 deep", window("", {below(4, field("x://y"))}), {}},
        {"text field: a word", window("", {field("hello")}), {}},
        {"text field: slash without dot", window("", {field("a/b")}), {}},
        {"text field: dot without slash", window("", {field("a.b")}), {}},
        {"three tab buttons", window("T", {tabs({"AXRadioButton", "AXImage", "AXButton", "AXRadioButton"})}),
         {"windowOpened|ed|T|-|3 tabs visible|-"}},
        {"one tab button", window("T", {tabs({"AXRadioButton", "AXGroup"})}), {"windowOpened|ed|T|-|-|-"}},
        {"tabs counted past twenty", window("T", {tabs(std::vector<std::string>(25, "AXButton"))}),
         {"windowOpened|ed|T|-|25 tabs visible|-"}},
    };
    for (const auto& [name, window, expected] : cases) {
        Rig r;
        r.tree.show(kEditor, window);
        EXPECT_EQ(r.look(), expected) << name;
    }
}

TEST(DesktopSensorsTest, AccessibilityRemembersPerAppAndReportsADialogOncePerOpening) {
    Rig r;
    auto draft = with("AXWindow", {{"AXTitle", "Draft"}, {"AXDocument", "file:///d/a.txt"}});
    const Lines draftSeen{"documentOpened|ed|Draft|-|a.txt|document", "pageNavigated|ed|Draft|file:///d/a.txt|-|url_change",
                          "windowOpened|ed|Draft|file:///d/a.txt|-|-"};
    auto element = r.tree.show(kEditor, draft);
    EXPECT_EQ(r.look(), draftSeen);
    EXPECT_EQ(r.look(), Lines{});
    // Another app, keyed by its name; then back: all of the first is news again.
    r.tree.show(app(202, {}, "Browser"), window("Home"));
    EXPECT_EQ(r.look(), Lines{"windowOpened|name:Browser|Home|-|-|-"});
    EXPECT_EQ(r.bus.events().back().app->pids, std::vector<std::int32_t>{202});
    element = r.tree.show(kEditor, draft);
    EXPECT_EQ(r.look(), draftSeen);
    EXPECT_EQ(r.a11y.lastPID(), 10);

    const auto focus = [&](const char* role) { element->set("AXFocusedUIElement", {AccessibleRef(fakeNode(role))}); };
    focus("AXSheet");
    EXPECT_EQ(r.look(), Lines{"dialogAppeared|ed|Draft|-|AXSheet|-"});
    EXPECT_EQ(r.a11y.lastDialogKey(), "10-AXSheet-Draft");
    EXPECT_EQ(r.look(), Lines{});
    draft->set("AXTitle", {std::string("Other")});
    EXPECT_EQ(r.look(), (Lines{"titleChanged|ed|Other|file:///d/a.txt|-|-", "dialogAppeared|ed|Other|-|AXSheet|-"}));
    focus("AXTextField");  // closed, then the same sheet again
    EXPECT_EQ(r.look(), Lines{});
    focus("AXSheet");
    EXPECT_EQ(r.look(), Lines{"dialogAppeared|ed|Other|-|AXSheet|-"});
    draft->attributes.erase("AXTitle");
    focus("AXDialog");
    EXPECT_EQ(r.look(), Lines{"dialogAppeared|ed|-|-|AXDialog|-"});

    r.tree.trusted = false;  // a lost grant stops the reads
    draft->set("AXTitle", {std::string("Gone")});
    EXPECT_EQ(r.look(), Lines{});
    EXPECT_FALSE(r.a11y.isTrusted());
}

TEST(DesktopSensorsTest, AccessibilityLeavesNoTraceOfSelfSensitiveOrWhenUntrusted) {
    const struct {
        const char* name;
        RunningApplication app;
        FakeNode window;
        bool trusted, readsNothing;
    } cases[] = {
        {"this application", app(kSelf, "velmora", "Velmora"), window("Stories"), true, true},
        {"password manager by name", app(7, "org.example.Vault", "Password Safe"), window("V"), true, true},
        {"password manager by id", app(7, "com.bitwarden.desktop", "Vault"), window("V"), true, true},
        {"private window", app(8, {}, "Browser"), window("New Incognito Tab"), true, false},
        {"private address", app(8, {}, "Browser"), with("AXWindow", {{"AXTitle", "S"}, {"AXURL", "https://a.org/inprivate"}}),
         true, false},
        {"private document", app(8, {}, "Viewer"), with("AXWindow", {{"AXDocument", "file:///private/x.pdf"}}), true, false},
        {"a Chromium window, which may be incognito", app(9, "chromium", "Chromium"), window("Secret Plans - Chromium"),
         true, true},
        {"not trusted", kEditor, window("Report"), false, true},
    };
    for (const auto& c : cases) {
        Rig r;
        r.tree.trusted = c.trusted;
        r.tree.show(c.app, c.window);
        r.a11y.start();
        r.scheduler.advance(2.0);
        EXPECT_EQ(r.take(), Lines{}) << c.name;
        EXPECT_FALSE(r.a11y.lastFrontmostKey() || r.a11y.lastWindowTitle() || r.a11y.lastURL() || r.a11y.lastPID())
            << c.name;
        EXPECT_EQ(r.tree.reads == 0, c.readsNothing) << c.name;
        EXPECT_EQ(r.scheduler.activeTimers(), c.trusted ? 1u : 0u) << c.name;
    }
}

TEST(DesktopSensorsTest, WithoutADisplayEverySensorStartsAndPublishesNothing) {
    for (const char* display : {"", ":4711"}) {
        Sensors<X11> s(display);
        s.start();
        s.scheduler.advance(30);
        EXPECT_TRUE(s.bus.events().empty()) << display;
        EXPECT_TRUE(s.windows.windows().empty()) << display;
        EXPECT_EQ(s.workspace.frontmostApplication(), std::nullopt) << display;
        EXPECT_EQ(s.idle.secondsSinceLastInput(), std::nullopt) << display;
        // The browser probe asks nothing where browsers cannot be scripted, and says so nowhere.
        EXPECT_FALSE(s.browser.isRunning()) << display;
        EXPECT_EQ(s.browser.lastError(), std::nullopt) << display;
    }
}

TEST(DesktopSensorsTest, ARealWindowIsLaunchedActivatedTitledRetitledAndQuit) {
    REQUIRE_DESKTOP(display);
    Sensors<X11> s(display);
    s.start();
    Form form;
    ASSERT_GT(form.pid, 0);
    const auto drain = [&] { s.scheduler.advance(X11Workspace::drainInterval); };
    const auto saw = [&](Kind kind, std::optional<std::string> title = std::nullopt) {
        return std::function<bool()>([&, kind, title] {
            for (const auto& e : s.bus.events())
                if (e.kind == kind && e.app->pids[0] == form.pid && (!title || e.windowTitle == title)) return true;
            return false;
        });
    };
    std::optional<ListedWindow> shown;
    ASSERT_TRUE(eventually([&] {
        for (const auto& w : s.windows.windows())
            if (w.ownerPid == form.pid && w.onScreen) shown = w;
        return shown.has_value();
    }, drain)) << "the window never appeared in the window list";
    EXPECT_EQ(shown->title, "Velmora accessible form");
    EXPECT_EQ(shown->layer, ListedWindow::normalLayer);
    EXPECT_EQ(std::pair(shown->bounds.width, shown->bounds.height), std::pair(480.0, 320.0));
    EXPECT_TRUE(eventually(saw(Kind::appLaunched), drain));

    // Other tests' windows take the focus as they come and go: bring ours back until it counts.
    const std::string activate = "xdotool windowactivate " + std::to_string(shown->windowId) + " 2>/dev/null";
    const auto inFront = [&] {
        drain();
        const auto front = s.workspace.frontmostApplication();
        if (!front || front->pid != form.pid) {
            EXPECT_NE(std::system(activate.c_str()), -1);
        }
    };
    EXPECT_TRUE(eventually(saw(Kind::becameFrontmost), inFront));
    EXPECT_TRUE(eventually(saw(Kind::windowOpened, "Velmora accessible form"), inFront));
    form.send("Velmora form retitled");
    EXPECT_TRUE(eventually(saw(Kind::titleChanged, "Velmora form retitled"), inFront));
    form.quit();
    EXPECT_TRUE(eventually(saw(Kind::appTerminated), drain));
}

// The real scheduler: the workspace hears of launches and quits from its connection, with no timer.
TEST(DesktopSensorsTest, TheWorkspaceIsWokenByItsConnectionNotByATimer) {
    REQUIRE_DESKTOP(display);
    int argc = 1;
    char name[] = "test_sensors";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    CountingScheduler scheduler;
    X11DesktopSession session(display);
    X11Workspace workspace(scheduler, session, display);
    std::vector<std::pair<WorkspaceNotification, std::int32_t>> heard;
    for (const auto kind : {WorkspaceNotification::didLaunchApplication, WorkspaceNotification::didTerminateApplication})
        workspace.addObserver(kind, [&heard, kind](const std::optional<RunningApplication>& app) {
            heard.emplace_back(kind, app ? app->pid : 0);
        });
    EXPECT_EQ(scheduler.watches, 1);

    Form form;
    ASSERT_GT(form.pid, 0);
    const auto pump = [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 50); };
    const auto heardOf = [&](WorkspaceNotification kind) {
        return [&heard, kind, pid = form.pid] { return std::count(heard.begin(), heard.end(), std::pair(kind, pid)) > 0; };
    };
    EXPECT_TRUE(eventually(heardOf(WorkspaceNotification::didLaunchApplication), pump)) << "no launch heard";
    form.quit();
    EXPECT_TRUE(eventually(heardOf(WorkspaceNotification::didTerminateApplication), pump)) << "no quit heard";
    EXPECT_EQ(scheduler.timers, 0);
}

TEST(DesktopSensorsTest, IdleTimeGrowsWhileNothingHappensAndInputResetsIt) {
    REQUIRE_DESKTOP(display);
    X11IdleTimeSource idle(display);
    ASSERT_TRUE(idle.secondsSinceLastInput()) << "no XScreenSaver idle time on " << display;
    // Other tests may move the pointer too; that only ever makes the idle time smaller.
    double last = -1, now = -1;
    ASSERT_TRUE(eventually([&] {
        last = std::exchange(now, idle.secondsSinceLastInput().value_or(-1));
        return last >= 0 && now > last && now >= 0.3;
    })) << "the idle time never grew";
    ASSERT_EQ(std::system("xdotool mousemove_relative -- 7 7"), 0);
    EXPECT_LT(idle.secondsSinceLastInput().value_or(now), now);
}

TEST(DesktopSensorsTest, HostileWindowTitlesAreReadSafely) {
    REQUIRE_DESKTOP(display);
    Display* d = XOpenDisplay(display.c_str());
    ASSERT_NE(d, nullptr);
    const unsigned long pid = static_cast<unsigned long>(getpid());
    const auto open = [&](const char* property, const char* type, const std::string& title) {
        const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 50, 50, 0, 0, 0);
        XChangeProperty(d, w, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&pid), 1);
        XChangeProperty(d, w, XInternAtom(d, property, False), XInternAtom(d, type, False), 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(title.data()), static_cast<int>(title.size()));
        XMapWindow(d, w);
    };
    open("_NET_WM_NAME", "UTF8_STRING", "Bad \xff\xfe title");
    open("WM_NAME", "STRING", "Caf\xe9 latin-1");  // no _NET_WM_NAME: the older property, converted
    open("_NET_WM_NAME", "UTF8_STRING", std::string(100000, 'x'));
    XSync(d, False);

    X11WindowList windows(display);
    std::set<std::string> titles;
    const std::set<std::string> expected{"Bad \uFFFD\uFFFD title", "Caf\u00e9 latin-1", std::string(16384, 'x')};
    EXPECT_TRUE(eventually([&] {
        titles.clear();
        for (const auto& w : windows.windows())
            if (w.ownerPid == getpid() && w.title) titles.insert(*w.title);
        return titles == expected;
    })) << titles.size() << " titles";
    XCloseDisplay(d);
}

TEST(DesktopSensorsTest, AccessibilityPermissionIsTheSessionsAccessibilitySwitch) {
    for (const auto& address : {std::optional<std::string>{}, std::optional<std::string>{"unix:path=/nonexistent/bus"}}) {
        A11yBusPermission permission(address);
        EXPECT_FALSE(permission.isGranted());
        EXPECT_FALSE(permission.request());
    }
    EXPECT_EQ(A11yBusPermission::sessionBusAddress("unix:abstract=x", "/run/user/1"), "unix:abstract=x");
    EXPECT_EQ(A11yBusPermission::sessionBusAddress(nullptr, "/nonexistent"), std::nullopt);
    REQUIRE_DESKTOP(display);
    A11yBusPermission permission;
    EXPECT_TRUE(permission.isGranted());
    EXPECT_TRUE(permission.request());
}

TEST(DesktopSensorsTest, AccessibilityReadsARealWindowItsDialogAndSurvivesAHang) {
    REQUIRE_DESKTOP(display);
    Form form;
    ASSERT_GT(form.pid, 0);
    FakeDesktopSession session;  // the form in front: tests beside this one move the real focus as they please
    session.apps = {{form.pid, "accessible_form", "Form", false, true}};
    A11yBusPermission permission;
    AtspiAccessibilityTree tree{session, permission};
    Events e;
    AccessibilityMonitor monitor{e.bus, e.scheduler, e.clock, tree, getpid()};
    Lines lines;
    e.bus.onEvent = [&](const ActivityEvent& event) { lines.push_back(eventLine(event)); };
    const auto saw = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
    const auto pollUntil = [&](const std::function<bool()>& done) { return eventually(done, [&] { monitor.poll(); }); };

    // Qt may publish the window before its tabs: wait for the whole form before the first poll.
    ASSERT_TRUE(eventually([&] {
        return monitor.visibleTabSummary(tree.applicationElement(form.pid)) == "3 tabs visible";
    }));
    monitor.poll();
    const std::string seen = "|accessible_form|Velmora accessible form|example.org/path|";
    EXPECT_EQ(lines, (Lines{"pageNavigated" + seen + "-|url_change", "windowOpened" + seen + "3 tabs visible|-"}));
    EXPECT_EQ(e.bus.events().back().app->pids, std::vector<std::int32_t>{form.pid});

    const std::string dialog = "dialogAppeared|accessible_form|Velmora dialog|-|AXDialog|-";
    form.send("dialog");
    EXPECT_TRUE(pollUntil([&] { return saw(dialog); }));
    EXPECT_TRUE(saw("titleChanged|accessible_form|Velmora dialog|example.org/path|-|-"));
    form.send("close");  // and opened again: reported again
    EXPECT_TRUE(pollUntil([&] { return monitor.lastWindowTitle() == "Velmora accessible form"; }));
    lines.clear();
    form.send("dialog");
    EXPECT_TRUE(pollUntil([&] { return saw(dialog); }));

    // A stopped app: without a short call timeout one read would wait 25 s.
    ASSERT_EQ(kill(form.pid, SIGSTOP), 0);
    const auto published = e.bus.events().size();
    const auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < 4; ++i) monitor.poll();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 3s);
    EXPECT_EQ(e.bus.events().size(), published);
}

TEST(DesktopSensorsTest, AccessibilityLeavesAnAppThatAnsweredLateAloneForFiveSeconds) {
    REQUIRE_DESKTOP(display);
    // The form is stopped during one poll and continued after `stopped`: a call it answers in
    // four fifths of the 250 ms timeout or more counts as hung (as one not answered in time
    // does), one answered well before does not.
    const struct {
        const char* name;
        std::chrono::milliseconds stopped;
        bool hung;
    } cases[] = {
        {"answered after 50 ms", 50ms, false},
        {"answered after 240 ms", 240ms, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Form form;
        ASSERT_GT(form.pid, 0);
        FakeDesktopSession session;
        session.apps = {{form.pid, "accessible_form", "Form", false, true}};
        A11yBusPermission permission;
        // The watcher reads through a tree of its own, which keeps no pause of the monitor's.
        AtspiAccessibilityTree tree{session, permission}, watcherTree{session, permission};
        Events e, w;
        AccessibilityMonitor monitor{e.bus, e.scheduler, e.clock, tree, getpid()};
        AccessibilityMonitor watcher{w.bus, w.scheduler, w.clock, watcherTree, getpid()};
        ASSERT_TRUE(eventually([&] {
            return watcher.visibleTabSummary(watcherTree.applicationElement(form.pid)) == "3 tabs visible";
        }));
        monitor.poll();
        ASSERT_EQ(monitor.lastWindowTitle(), "Velmora accessible form");

        ASSERT_EQ(kill(form.pid, SIGSTOP), 0);
        const auto begin = std::chrono::steady_clock::now();
        std::thread resume([&] {
            std::this_thread::sleep_for(c.stopped);
            kill(form.pid, SIGCONT);
        });
        monitor.poll();
        resume.join();

        const std::string retitled = std::string("Velmora form ") + (c.hung ? "hung" : "slow");
        form.send(retitled);
        ASSERT_TRUE(eventually([&] { return watcher.lastWindowTitle() == retitled; }, [&] { watcher.poll(); }));
        const auto retitledSeen = [&] {
            for (const auto& event : e.bus.events())
                if (event.kind == Kind::titleChanged && event.windowTitle == retitled) return true;
            return false;
        };
        monitor.poll();
        EXPECT_EQ(retitledSeen(), !c.hung);
        // A hung app is asked again only once five seconds have passed.
        EXPECT_TRUE(eventually(retitledSeen, [&] { monitor.poll(); }));
        if (c.hung) {
            EXPECT_GE(std::chrono::steady_clock::now() - begin, 5s);
        }
    }
}
