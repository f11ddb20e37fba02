// The desktop sensors on the X11 implementations: with no display, and against a real window on
// the test desktop (Xvfb with openbox; run under scripts/with-desktop.sh).
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <set>
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

using namespace velmora;
using Kind = ActivityEventKind;

namespace {

// Whether `done` comes to hold within 20 s of real time: the desktop is shared with other tests,
// and programs start slowly under ASan.
bool eventually(const std::function<bool()>& done) {
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
         std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(std::chrono::milliseconds(20)))
        if (done()) return true;
    return false;
}

// Every sensor, on the X11 implementations of one display; `until` runs their timers.
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
        : session(display), workspace(scheduler, session, display), windows(display), idle(display) {
        monitor.start();
        titles.start();
        idleDetector.start();
        browser.start();
    }

    bool until(const std::function<bool()>& done) {
        return eventually([&] {
            scheduler.advance(X11Workspace::drainInterval);
            return done();
        });
    }

    bool saw(Kind kind, pid_t pid, std::optional<std::string> title = std::nullopt) const {
        for (const auto& e : bus.events())
            if (e.kind == kind && e.app && e.app->pids[0] == pid && (!title || e.windowTitle == title)) return true;
        return false;
    }
};

// Skips without the test desktop; on it, a display that cannot be reached fails the test.
#define REQUIRE_DESKTOP(display)                                                             \
    if (!std::getenv("VELMORA_DESKTOP")) GTEST_SKIP() << "needs scripts/with-desktop.sh";  \
    const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";      \
    ASSERT_FALSE(display.empty()) << "VELMORA_DESKTOP is set but DISPLAY is not"

}  // namespace

TEST(DesktopSensorsX11Test, WithoutADisplayEverySensorStartsAndPublishesNothing) {
    for (const char* display : {"", ":4711"}) {
        Sensors s(display);
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
    REQUIRE_DESKTOP(display);
    Sensors s(display);
    // The program quits when its input closes; each line it reads becomes its title.
    const std::string title = "Velmora window " + std::to_string(getpid());
    FILE* window = popen(("exec " VELMORA_TEST_PROGRAMS "/titled_window '" + title + "'").c_str(), "w");
    ASSERT_NE(window, nullptr);
    std::optional<ListedWindow> listed;
    ASSERT_TRUE(s.until([&] {
        for (const auto& w : s.windows.windows())
            if (w.title == title && w.onScreen) listed = w;
        return listed.has_value();
    })) << "the window never appeared in the window list";
    const pid_t pid = listed->ownerPid;
    ASSERT_GT(pid, 0);
    EXPECT_EQ(listed->layer, ListedWindow::normalLayer);
    EXPECT_EQ(listed->bounds.width, 320);
    EXPECT_EQ(listed->bounds.height, 200);
    EXPECT_TRUE(s.until([&] { return s.saw(Kind::appLaunched, pid); }));

    // Other tests' windows take the focus as they come and go: bring ours back until it counts.
    const std::string activate = "xdotool windowactivate " + std::to_string(listed->windowId) + " 2>/dev/null";
    const auto inFront = [&](const std::function<bool()>& done) {
        return s.until([&] {
            const auto front = s.workspace.frontmostApplication();
            if (!front || front->pid != pid) {
                EXPECT_NE(std::system(activate.c_str()), -1);
            }
            return done();
        });
    };
    EXPECT_TRUE(inFront([&] { return s.saw(Kind::becameFrontmost, pid); }));
    EXPECT_TRUE(inFront([&] { return s.saw(Kind::windowOpened, pid, title); }));
    ASSERT_GT(std::fprintf(window, "%s retitled\n", title.c_str()), 0);
    std::fflush(window);
    EXPECT_TRUE(inFront([&] { return s.saw(Kind::titleChanged, pid, title + " retitled"); }));

    pclose(window);
    EXPECT_TRUE(s.until([&] { return s.saw(Kind::appTerminated, pid); }));
}

TEST(DesktopSensorsX11Test, IdleTimeGrowsWhileNothingHappensAndInputResetsIt) {
    REQUIRE_DESKTOP(display);
    X11IdleTimeSource idle(display);
    ASSERT_TRUE(idle.secondsSinceLastInput()) << "no XScreenSaver idle time on " << display;

    // Other tests may move the pointer too; that only ever makes the idle time smaller.
    double last = -1, now = -1;
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
         !(now > last && now >= 0.3 && last >= 0) && std::chrono::steady_clock::now() < end;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        last = std::exchange(now, idle.secondsSinceLastInput().value_or(-1));
    }
    ASSERT_GT(now, last) << "the idle time never grew";
    ASSERT_EQ(std::system("xdotool mousemove_relative -- 7 7"), 0);
    EXPECT_LT(idle.secondsSinceLastInput().value_or(now), now);
}

TEST(DesktopSensorsX11Test, HostileWindowTitlesAreReadSafely) {
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
