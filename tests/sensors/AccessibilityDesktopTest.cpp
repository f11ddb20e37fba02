// The accessibility monitor against a real accessible window on the test desktop (Xvfb, the
// accessibility bus): run under scripts/with-desktop.sh.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/activity/ActivityEventBus.h"
#include "platform/linux/A11yBusPermission.h"
#include "platform/linux/AtspiAccessibilityTree.h"
#include "sensors/AccessibilityMonitor.h"
#include "tests/fakes/FakeAccessibilityTree.h"
#include "tests/fakes/ManualScheduler.h"

extern char** environ;

using namespace velmora;

namespace {

bool onDesktop() { return std::getenv("VELMORA_DESKTOP") != nullptr; }

// The accessible form, taking commands on its standard input; killed and reaped at the end.
class Form {
public:
    Form() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        const std::string path = VELMORA_TEST_PROGRAMS "/accessible_form";
        char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
        if (posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv, environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[0]);
        input_ = fds[1];
    }
    ~Form() {
        if (input_ >= 0) close(input_);
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    pid_t pid() const { return pid_; }
    void send(const std::string& command) { ASSERT_EQ(write(input_, (command + "\n").data(), command.size() + 1), ssize_t(command.size() + 1)); }

private:
    pid_t pid_ = -1;
    int input_ = -1;
};

// The form is frontmost: other tests on the same display move the real focus as they please.
struct FormInFront final : DesktopSession {
    explicit FormInFront(std::int32_t p) : pid(p) {}
    std::int32_t pid;
    std::vector<RunningApplication> runningApplications() override {
        return {RunningApplication{pid, "accessible_form", "Accessible form", false, true}};
    }
};

// The monitor reading the form through the real accessibility bus.
struct Rig {
    Form form;
    FormInFront session{form.pid()};
    A11yBusPermission permission;
    AtspiAccessibilityTree tree{session, permission};
    FakeClock clock;
    ManualScheduler scheduler{clock};
    ActivityEventBus bus;
    AccessibilityMonitor monitor{bus, scheduler, clock, tree, getpid()};
};

// Polls until `done` holds, for at most 15 s of real time (the program starts slowly under ASan).
bool pollUntil(AccessibilityMonitor* monitor, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
        if (monitor) monitor->poll();
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

}  // namespace

TEST(AccessibilityDesktopTest, PermissionIsTheSessionsAccessibilitySwitch) {
    // No session bus, or one that is not there: never granted, and asking changes nothing.
    for (const auto& address : {std::optional<std::string>{}, std::optional<std::string>{"unix:path=/nonexistent/bus"}}) {
        A11yBusPermission permission(address);
        EXPECT_FALSE(permission.isGranted());
        EXPECT_FALSE(permission.request());
    }
    EXPECT_EQ(A11yBusPermission::sessionBusAddress("unix:abstract=x", "/run/user/1"), "unix:abstract=x");
    EXPECT_EQ(A11yBusPermission::sessionBusAddress(nullptr, "/nonexistent"), std::nullopt);
    EXPECT_EQ(A11yBusPermission::sessionBusAddress("", nullptr), std::nullopt);
    if (!onDesktop()) GTEST_SKIP() << "needs scripts/with-desktop.sh";
    A11yBusPermission permission;
    EXPECT_TRUE(permission.isGranted());
    EXPECT_TRUE(permission.request());
}

TEST(AccessibilityDesktopTest, ReadsARealWindowAndItsDialog) {
    if (!onDesktop()) GTEST_SKIP() << "needs scripts/with-desktop.sh";
    Rig rig;
    auto& [form, session, permission, tree, clock, scheduler, bus, monitor] = rig;
    ASSERT_GT(form.pid(), 0);
    std::vector<std::string> lines;
    bus.onEvent = [&](const ActivityEvent& e) { lines.push_back(eventLine(e)); };
    const auto has = [&](const std::string& wanted) { return std::find(lines.begin(), lines.end(), wanted) != lines.end(); };

    // The window's first look may come before Qt has published all of it; wait for the whole form.
    ASSERT_TRUE(pollUntil(nullptr, [&] {
        return monitor.visibleTabSummary(tree.applicationElement(form.pid())) == "3 tabs visible";
    })) << "the form never showed up on the accessibility bus";
    monitor.poll();
    EXPECT_EQ(lines, (std::vector<std::string>{"pageNavigated|Velmora accessible form|example.org/path|-|url_change",
                                               "windowOpened|Velmora accessible form|example.org/path|3 tabs visible|-"}));
    ASSERT_TRUE(bus.events().back().app);
    EXPECT_EQ(bus.events().back().app->pids, std::vector<std::int32_t>{form.pid()});

    const std::string dialog = "dialogAppeared|Velmora dialog|-|AXDialog|-";
    form.send("dialog");
    EXPECT_TRUE(pollUntil(&monitor, [&] { return has(dialog); }));
    EXPECT_TRUE(has("titleChanged|Velmora dialog|example.org/path|-|-"));
    // Closed and opened again: a second report.
    form.send("close");
    EXPECT_TRUE(pollUntil(&monitor, [&] { return monitor.lastWindowTitle() == "Velmora accessible form"; }));
    EXPECT_EQ(monitor.lastDialogKey(), std::nullopt);
    lines.clear();
    form.send("dialog");
    EXPECT_TRUE(pollUntil(&monitor, [&] { return has(dialog); }));
}

TEST(AccessibilityDesktopTest, AHungAppDoesNotStallThePoll) {
    if (!onDesktop()) GTEST_SKIP() << "needs scripts/with-desktop.sh";
    Rig rig;
    auto& [form, session, permission, tree, clock, scheduler, bus, monitor] = rig;
    ASSERT_TRUE(pollUntil(&monitor, [&] { return monitor.lastWindowTitle().has_value(); }));
    const auto published = bus.events().size();

    ASSERT_EQ(kill(form.pid(), SIGSTOP), 0);
    // Without a short call timeout one read of a stopped app waits 25 s; with it, a few polls
    // together stay far below that.
    const auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < 4; ++i) monitor.poll();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(3));
    EXPECT_EQ(bus.events().size(), published);
    kill(form.pid(), SIGCONT);
}
