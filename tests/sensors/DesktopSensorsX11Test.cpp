// The desktop sensors on the X11 implementations: with no display, and against a real window on
// the test desktop (Xvfb with openbox; run under scripts/with-desktop.sh).
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "platform/linux/UnavailableScriptRunner.h"
#include "platform/linux/X11DesktopSession.h"
#include "platform/linux/X11IdleTimeSource.h"
#include "platform/linux/X11WindowList.h"
#include "platform/linux/X11Workspace.h"
#include "sensors/BrowserScriptingProbe.h"
#include "sensors/IdleDetector.h"
#include "sensors/WindowTitleProbe.h"
#include "sensors/WorkspaceActivityMonitor.h"
#include "tests/fakes/ManualScheduler.h"
#include "tests/fakes/TestProgram.h"

using namespace velmora;

namespace {

// Every sensor, on the X11 implementations of one display.
struct Sensors {
    FakeClock clock;
    ManualScheduler scheduler{clock};
    ActivityEventBus bus;
    X11DesktopSession session;
    X11Workspace workspace;
    X11WindowList windows;
    X11IdleTimeSource idle;
    UnavailableScriptRunner runner;
    WorkspaceActivityMonitor monitor{bus, workspace, clock, SelfProcess{getpid()}};
    WindowTitleProbe titles{bus, workspace, windows, scheduler, clock, SelfProcess{getpid()}};
    IdleDetector idleDetector{bus, idle, scheduler, clock};
    BrowserScriptingProbe browser{bus, workspace, runner, scheduler, clock, SelfProcess{getpid()}};

    explicit Sensors(const std::string& display)
        : session(display), workspace(scheduler, session, display), windows(display), idle(display) {}

    void startAll() {
        monitor.start();
        titles.start();
        idleDetector.start();
        browser.start();
    }

    // Runs the sensors in real time (their timers in simulated time) until `done` holds, for at
    // most 20 s: the desktop is shared with other tests and programs start slowly under ASan.
    bool until(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            scheduler.advance(X11Workspace::drainInterval);
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    bool saw(ActivityEventKind kind, pid_t pid, std::optional<std::string> title = std::nullopt) const {
        for (const auto& e : bus.events())
            if (e.kind == kind && e.app && e.app->pids == std::vector<std::int32_t>{pid} &&
                (!title || e.windowTitle == title))
                return true;
        return false;
    }
};

std::string desktopDisplay() {
    if (!std::getenv("VELMORA_DESKTOP")) return {};
    const char* display = std::getenv("DISPLAY");
    return display ? display : "";
}

}  // namespace

TEST(DesktopSensorsX11Test, WithoutADisplayEverySensorStartsAndPublishesNothing) {
    for (const char* display : {"", ":4711"}) {
        Sensors s(display);
        s.startAll();
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

TEST(DesktopSensorsX11Test, ARealWindowIsLaunchedActivatedTitledRetitledAndQuit) {
    const std::string display = desktopDisplay();
    if (display.empty()) GTEST_SKIP() << "needs scripts/with-desktop.sh";
    Sensors s(display);
    s.startAll();
    TestProgram window(VELMORA_TEST_PROGRAMS "/titled_window", {"Velmora window one"});
    const pid_t pid = window.pid();
    ASSERT_GT(pid, 0);

    std::optional<ListedWindow> listed;
    ASSERT_TRUE(s.until([&] {
        for (const auto& w : s.windows.windows())
            if (w.ownerPid == pid && w.title == "Velmora window one" && w.onScreen) listed = w;
        return listed.has_value();
    })) << "the window never appeared in the window list";
    EXPECT_EQ(listed->layer, ListedWindow::normalLayer);
    EXPECT_EQ(listed->bounds.width, 320);
    EXPECT_EQ(listed->bounds.height, 200);
    EXPECT_TRUE(s.until([&] { return s.saw(ActivityEventKind::appLaunched, pid); }));

    // Other tests' windows take the focus as they come and go: bring ours back until it counts.
    const auto inFront = [&](const std::function<bool()>& done) {
        return s.until([&] {
            if (!s.workspace.frontmostApplication() || s.workspace.frontmostApplication()->pid != pid)
                runCommand({"xdotool", "windowactivate", std::to_string(listed->windowId)});
            return done();
        });
    };
    EXPECT_TRUE(inFront([&] { return s.saw(ActivityEventKind::becameFrontmost, pid); }));
    EXPECT_TRUE(inFront([&] { return s.saw(ActivityEventKind::windowOpened, pid, "Velmora window one"); }));
    ASSERT_TRUE(window.send("Velmora window two"));
    EXPECT_TRUE(inFront([&] { return s.saw(ActivityEventKind::titleChanged, pid, "Velmora window two"); }));

    window.kill();
    EXPECT_TRUE(s.until([&] { return s.saw(ActivityEventKind::appTerminated, pid); }));
    for (const auto& e : s.bus.events())
        if (e.kind == ActivityEventKind::becameFrontmost && e.app->pids[0] == pid) EXPECT_EQ(e.detail, "Frontmost");
}

TEST(DesktopSensorsX11Test, IdleTimeGrowsWhileNothingHappensAndInputResetsIt) {
    const std::string display = desktopDisplay();
    if (display.empty()) GTEST_SKIP() << "needs scripts/with-desktop.sh";
    X11IdleTimeSource idle(display);
    ASSERT_TRUE(idle.secondsSinceLastInput().has_value()) << "no XScreenSaver idle time on " << display;

    // Other tests may move the pointer too; that only ever makes the idle time smaller.
    double before = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    bool grew = false;
    for (double last = -1; !grew && std::chrono::steady_clock::now() < deadline;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        before = idle.secondsSinceLastInput().value_or(-1);
        grew = last >= 0 && before > last && before >= 0.3;
        last = before;
    }
    ASSERT_TRUE(grew) << "the idle time never grew";
    ASSERT_EQ(runCommand({"xdotool", "mousemove_relative", "--", "7", "7"}), 0);
    EXPECT_LT(idle.secondsSinceLastInput().value_or(before), before);
}
