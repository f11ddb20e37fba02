#include <gtest/gtest.h>

#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/LinuxAppTerminator.h"
#include "platform/linux/ProcfsParsing.h"
#include "platform/linux/X11Connection.h"
#include "tests/engine/settings/StoreFiles.h"
#include "tests/fakes/FakeSources.h"
#include "tests/fakes/LineChild.h"

// Last: Xlib defines words such as None and Status as macros.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace velmora {
namespace {

// A child that keeps SIGTERM blocked, so a signal stays pending, and when asked tells whether
// one came ('T') or not ('n'), then exits.
class Witness {
public:
    Witness() {
        if (::pipe(ask_) != 0 || ::pipe(answer_) != 0) return;
        sigset_t term, old;
        sigemptyset(&term);
        sigaddset(&term, SIGTERM);
        ::sigprocmask(SIG_BLOCK, &term, &old);  // blocked before the fork: no signal slips past
        pid_ = ::fork();
        if (pid_ == 0) {
            char c = 0;
            sigset_t pending;
            const bool asked = ::read(ask_[0], &c, 1) == 1 && ::sigpending(&pending) == 0;
            const char reply = asked && sigismember(&pending, SIGTERM) ? 'T' : 'n';
            ::_exit(::write(answer_[1], &reply, 1) == 1 ? 0 : 1);
        }
        ::sigprocmask(SIG_SETMASK, &old, nullptr);
    }
    ~Witness() {
        if (pid_ > 0 && !reaped_) ::kill(pid_, SIGKILL), ::waitpid(pid_, nullptr, 0);
        for (int fd : {ask_[0], ask_[1], answer_[0], answer_[1]}) ::close(fd);
    }
    pid_t pid() const { return pid_; }
    // Asks, reaps the child and gives its answer; '?' when it could not say.
    char signalled() {
        char reply = '?';
        if (::write(ask_[1], "?", 1) != 1 || ::read(answer_[0], &reply, 1) != 1) reply = '?';
        ::waitpid(pid_, nullptr, 0);
        reaped_ = true;
        return reply;
    }

private:
    int ask_[2] = {-1, -1}, answer_[2] = {-1, -1};
    pid_t pid_ = -1;
    bool reaped_ = false;
};

std::uint64_t startTimeOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    const auto fields = procfs::parseStat(std::string(std::istreambuf_iterator<char>(in), {}));
    return fields ? fields->startTime : 0;
}

// Runs `body` as the first process of a private pid namespace with its own /proc, where pids can
// be handed out again on purpose; gives its exit code, or 100 + the step that could not be set up.
int inPrivatePidNamespace(const std::function<int()>& body) {
    const int status = statusOfChild([&] {
        if (::unshare(CLONE_NEWPID | CLONE_NEWNS) != 0) return 101;
        const pid_t first = ::fork();
        if (first < 0) return 102;
        if (first == 0) {
            if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0)
                ::_exit(103);
            ::_exit(body());
        }
        int inner = 0;
        ::waitpid(first, &inner, 0);
        return WIFEXITED(inner) ? WEXITSTATUS(inner) : 104;
    });
    return WIFEXITED(status) ? WEXITSTATUS(status) : 105;
}

// Quit reaches programs only through their windows: neither a process that took over a looked-up
// pid nor the looked-up process itself is ever signalled, even when no window can be asked.
TEST(AppTerminatorTest, NoProcessIsEverSignalled) {
    // Each step reports what it saw as its exit code: 0 is all well.
    const int outcome = inPrivatePidNamespace([] {
        FakeDesktopSession desktop;
        LinuxAppTerminator terminator(desktop, "");  // no display: no window can be asked to close
        auto looked = std::make_unique<Witness>();
        const pid_t pid = looked->pid();
        const std::uint64_t firstStart = startTimeOf(pid);
        desktop.apps = {{pid, std::string("org.example.Editor")}};
        if (!terminator.hasWindow(pid)) return 1;
        if (looked->signalled() != 'n') return 2;  // it exits
        // Another process takes the pid, started on a later clock tick than the first.
        std::unique_ptr<Witness> successor;
        for (int attempt = 0; attempt < 2000 && !successor; ++attempt) {
            std::ofstream("/proc/sys/kernel/ns_last_pid") << pid - 1;
            auto candidate = std::make_unique<Witness>();
            if (candidate->pid() != pid) return 3;
            if (startTimeOf(pid) != firstStart) successor = std::move(candidate);
            else ::usleep(1000);
        }
        if (!successor) return 4;
        if (terminator.closeWindows(pid)) return 5;
        if (successor->signalled() != 'n') return 6;

        // The process that was looked up, still running: with no window to ask, nothing happens.
        Witness asked;
        desktop.apps = {{asked.pid(), std::string("org.example.Editor")}};
        if (!terminator.hasWindow(asked.pid())) return 7;
        if (terminator.closeWindows(asked.pid())) return 8;
        return asked.signalled() == 'n' ? 0 : 9;
    });
    const std::map<int, const char*> meaning = {
        {1, "the first child was not found"}, {3, "the pid was not handed out again"},
        {4, "no later clock tick"}, {5, "terminate reported success for the new process"},
        {6, "the new process got SIGTERM"}, {7, "the looked-up process's window was not seen"},
        {8, "closing reported success without a window"}, {9, "the looked-up process got SIGTERM"}, {101, "no private pid namespace (needs root)"},
        {103, "could not mount a private /proc"},
    };
    EXPECT_EQ(outcome, 0) << (meaning.contains(outcome) ? meaning.at(outcome) : "");
}

// The client windows the window manager lists with `pid` as their _NET_WM_PID and shows on screen.
std::vector<Window> shownWindowsOf(Display* display, pid_t pid) {
    const Window root = DefaultRootWindow(display);
    const Atom clientList = XInternAtom(display, "_NET_CLIENT_LIST", False);
    const Atom wmPid = XInternAtom(display, "_NET_WM_PID", False);
    std::vector<Window> out;
    for (const unsigned long window : readLongProperty(display, root, clientList, XA_WINDOW)) {
        const auto owner = readLongProperty(display, window, wmPid, XA_CARDINAL);
        XWindowAttributes attributes{};
        if (!owner.empty() && static_cast<pid_t>(owner.front()) == pid &&
            XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable)
            out.push_back(window);
    }
    return out;
}

// Waits, for up to 20 seconds, until `pid` has exactly one window on screen; gives it, or None.
Window waitForTheWindowOf(Display* display, pid_t pid) {
    for (int i = 0; i < 2000; ++i) {
        if (const auto windows = shownWindowsOf(display, pid); windows.size() == 1) return windows.front();
        ::usleep(10000);
    }
    return None;
}

// Waits, for up to 20 seconds, until the server no longer knows `window`; whether it is gone.
bool waitUntilGone(Display* display, Window window) {
    XWindowAttributes attributes{};
    for (int i = 0; i < 2000 && XGetWindowAttributes(display, window, &attributes); ++i) ::usleep(10000);
    return !XGetWindowAttributes(display, window, &attributes);
}

// Asks the window manager, as a pager would, to maximize `window`.
void askToMaximize(Display* display, Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "_NET_WM_STATE", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 1;  // add
    event.xclient.data.l[1] = static_cast<long>(XInternAtom(display, "_NET_WM_STATE_MAXIMIZED_VERT", False));
    event.xclient.data.l[2] = static_cast<long>(XInternAtom(display, "_NET_WM_STATE_MAXIMIZED_HORZ", False));
    event.xclient.data.l[3] = 2;
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XSync(display, False);
}

// On the desktop: a windowed program that Quit looked up is asked to close through its window; once
// it is gone and another windowed program has its pid, a Quit still meant for the first asks
// nothing of the second, whose window is the pid's all the same. The second, once looked up itself,
// is asked. The window's _NET_WM_PID is the pid inside the private namespace, as the terminator
// sees it there.
TEST(AppTerminatorTest, AWindowOfAProcessThatTookOverTheLookedUpPidIsNotAskedToClose) {
    if (!std::getenv("VELMORA_DESKTOP")) GTEST_SKIP() << "needs scripts/with-desktop.sh";
    const char* displayName = std::getenv("DISPLAY");
    ASSERT_NE(displayName, nullptr) << "VELMORA_DESKTOP is set but DISPLAY is not";
    Display* probe = XOpenDisplay(displayName);
    ASSERT_NE(probe, nullptr) << "VELMORA_DESKTOP is set but no display answers at " << displayName;
    XCloseDisplay(probe);
    const std::string program = std::string(VELMORA_TEST_PROGRAMS) + "/polite_window";

    const int outcome = inPrivatePidNamespace([&] {
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });  // a window may go between two requests
        Display* display = XOpenDisplay(displayName);
        if (!display) return 1;
        const std::vector<std::pair<std::string, std::string>> xcb = {{"QT_QPA_PLATFORM", "xcb"}};
        FakeDesktopSession desktop;
        LinuxAppTerminator terminator(desktop, displayName);
        // What the window manager did to a program's window, past its "shown".
        const auto next = [](LineChild& child) {
            std::string line;
            do line = child.line(20000);
            while (line == "shown");
            return line;
        };

        auto looked = std::make_unique<LineChild>(std::vector<std::string>{program, "Looked Up"}, xcb);
        const pid_t pid = looked->pid();
        const Window firstWindow = pid > 0 ? waitForTheWindowOf(display, pid) : None;
        if (firstWindow == None) return 2;
        const std::uint64_t firstStart = startTimeOf(pid);
        desktop.apps = {{pid, std::string("org.example.Editor")}};
        if (!terminator.hasWindow(pid)) return 3;
        if (!terminator.closeWindows(pid)) return 4;
        if (next(*looked) != "close") return 5;
        if (!looked->ended(10) || !WIFEXITED(looked->status()) || WEXITSTATUS(looked->status()) != 0) return 6;
        looked.reset();
        // From now on, a window that names the pid is the successor's.
        if (!waitUntilGone(display, firstWindow)) return 17;

        // Another windowed program takes the pid, started on a later clock tick than the first.
        std::unique_ptr<LineChild> successor;
        for (int attempt = 0; attempt < 2000 && !successor; ++attempt) {
            std::ofstream("/proc/sys/kernel/ns_last_pid") << pid - 1;
            auto candidate = std::make_unique<LineChild>(std::vector<std::string>{program, "Successor"}, xcb);
            if (candidate->pid() != pid) return 7;
            if (startTimeOf(pid) != firstStart) successor = std::move(candidate);
            else ::usleep(1000);
        }
        if (!successor) return 8;
        const Window window = waitForTheWindowOf(display, pid);
        if (window == None) return 9;
        const bool reported = terminator.closeWindows(pid);
        // The window manager handles requests in the order they came: had a close request gone to
        // the window above, it would reach the program before the maximize asked for now.
        askToMaximize(display, window);
        const std::string first = next(*successor);
        if (first == "close") return 11;
        if (first != "maximized") return 12;
        if (reported) return 10;

        // Looked up now, the same program is asked.
        if (!terminator.hasWindow(pid)) return 13;
        if (!terminator.closeWindows(pid)) return 14;
        if (next(*successor) != "close") return 15;
        if (!successor->ended(10) || !WIFEXITED(successor->status()) || WEXITSTATUS(successor->status()) != 0)
            return 16;
        XCloseDisplay(display);
        return 0;
    });
    const std::map<int, const char*> meaning = {
        {1, "no display inside the namespace"},
        {2, "the first program's window was never shown and listed"},
        {3, "the first program was not found"},
        {4, "closing the looked-up program reported failure"},
        {5, "the looked-up program was not asked to close"},
        {6, "the looked-up program did not end by itself"},
        {7, "the pid was not handed out again"},
        {8, "no later clock tick"},
        {9, "the successor's window was never shown and listed"},
        {10, "closing reported success for the process that took the pid"},
        {11, "the window of the process that took the pid was asked to close"},
        {12, "the successor did not report the maximize"},
        {13, "the successor was not found once looked up"},
        {14, "closing the looked-up successor reported failure"},
        {15, "the looked-up successor was not asked to close"},
        {16, "the successor did not end by itself"},
        {17, "the first program's window outlived it"},
        {101, "no private pid namespace (needs root)"},
        {103, "could not mount a private /proc"},
    };
    EXPECT_EQ(outcome, 0) << (meaning.contains(outcome) ? meaning.at(outcome) : "");
}

}  // namespace
}  // namespace velmora
